#pragma once

#include "app/CallHandling.h"
#include "app/FatalError.h"
#include "calllog/CallLog.h"
#include "capi/CapiWorker.h"
#include "settings/LockKeySignaller.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CallNotifier;
class Capi;
class Clock;
class KeyboardSynth;
class Line;
class MainWindowViews;
class MissedCalls;
class PopupMenu;
class QPoint;
class QTimer;
class TelHandler;
class Tray;
struct modCapi;

/// The platform services the window works with; main passes the real ones, tests fakes.
struct Platform
{
    Capi &capi;
    Tray &tray;
    KeyboardSynth &keyboard;
    const Clock &clock;
    /// Directory of the executable; caller.log and the settings file lie there.
    std::string programDir;
    /// The executable's file name without extension (names the settings file).
    std::string programName = "klingelwacht";
    FatalErrorReporter fatal = reportFatalError;
    /// Manual runs the CAPI library's calls within the tick (tests with a fake CAPI).
    CapiWorker::Mode capiMode = CapiWorker::Mode::Thread;
    /// Tells the desktop of each incoming call; none when notifications are off.
    CallNotifier *notifier = nullptr;
    /// Calls a caller back from the call list; none greys "Zurückrufen".
    TelHandler *tel = nullptr;
};

/// The program's one window: its event handlers and the start-up and shutdown order.
/// The work itself is done by the subsystems it holds.
class frmCapi final : public QWidget
{
    Q_OBJECT
public:
    frmCapi(modCapi &shared, Platform platform, QWidget *parent = nullptr);
    ~frmCapi() override;

    void Form_Load();
    void Form_Unload();
    void Timer1_Timer();
    void Get_Capi_Message();
    void mnuAnzeigen_Click();
    void mnuBeenden_Click();
    /// The tray's notification with its mouse message code: 0x204 opens mnuPopUp at the
    /// pointer (on Wayland, which allows no such menu, it runs RestoreWindow), 0x201 and
    /// 0x203 run RestoreWindow, any other code does nothing.
    void Picture1_MouseMove(int code);

    MainWindowViews &views() { return *m_views; }
    CallLog &callLog() { return m_log; }
    QTimer &Timer1() { return *m_timer; }
    PopupMenu &mnuPopUp() { return *m_popup; }
    /// Replaces how Picture1_MouseMove opens mnuPopUp (tests count instead of blocking).
    void setPopupOpener(std::function<void(const QPoint &)> opener)
    {
        m_openPopup = std::move(opener);
    }
    int callCounter() const { return m_callCounter; }
    /// Whether the person sees the call list: shown and not minimised.
    bool isListShown() const;
    bool isUnloaded() const { return m_unloaded; }
    /// Start-up steps that failed and were passed over, by name.
    const std::vector<std::string> &skippedSteps() const { return m_skippedSteps; }

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void createViews();
    void createCallHandling();
    void createMissedCalls();
    void createLine();
    void createLogNotice();
    void createTimer();
    void createMenu();
    void Form_Resize();
    /// Runs one start-up step; a failing step is noted and passed over.
    void step(const char *name, const std::function<void()> &body);
    /// Runs an event handler; an error that escapes it is fatal.
    void guarded(const std::function<void()> &handler);

    modCapi &m_data;
    Platform m_platform;
    std::unique_ptr<MainWindowViews> m_views;
    QTimer *m_timer = nullptr;
    PopupMenu *m_popup = nullptr;
    std::function<void(const QPoint &)> m_openPopup;
    CallLog m_log;
    LockKeySignaller m_lockKeys;
    std::unique_ptr<CallHandling> m_handling;
    std::unique_ptr<MissedCalls> m_missed;
    std::unique_ptr<Line> m_line;
    int m_callCounter = 0;
    bool m_unloaded = false;
    std::vector<std::string> m_skippedSteps;
};
