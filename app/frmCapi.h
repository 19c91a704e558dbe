#pragma once

#include "app/CallHandling.h"
#include "app/FatalError.h"
#include "app/LineStatus.h"
#include "base/SteadyClock.h"
#include "calllog/CallLog.h"
#include "capi/CapiWorker.h"
#include "settings/LockKeySignaller.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CallNotifier;
class Capi;
class Clock;
struct CallMonitorSettings;
class KeyboardSynth;
class Line;
class LineNotifier;
class Phonebook;
class RouterPhonebookSetup;
class MainWindowViews;
class MissedCalls;
class PopupMenu;
class QLabel;
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
    /// Tells the desktop when the line has been down for long; none when notifications are off.
    LineNotifier *lineNotifier = nullptr;
    /// Times the line's start grace and outages.
    const SteadyClock *steadyClock = &systemSteadyClock();
    /// Builds the line the settings name (tests: fake lines); empty: the real lines.
    std::function<std::unique_ptr<Line>(const CallMonitorSettings &)> makeLine = {};
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
    void mnuEinstellungen_Click();
    /// The tray's notification with its mouse message code: 0x204 opens mnuPopUp at the
    /// pointer (on Wayland, which allows no such menu, it runs RestoreWindow), 0x201 and
    /// 0x203 run RestoreWindow, any other code does nothing.
    void Picture1_MouseMove(int code);

    MainWindowViews &views() { return *m_views; }
    CallLog &callLog() { return m_log; }
    QTimer &Timer1() { return *m_timer; }
    LineStatus &lineStatus() { return *m_lineStatus; }
    PopupMenu &mnuPopUp() { return *m_popup; }
    /// Replaces how Picture1_MouseMove opens mnuPopUp (tests count instead of blocking).
    void setPopupOpener(std::function<void(const QPoint &)> opener)
    {
        m_openPopup = std::move(opener);
    }
    /// The address books; none without a [Telefonbuch] section (then nothing shown changes).
    Phonebook *phonebook() { return m_phonebook.get(); }
    /// For the call list: the caller's name, else "(place)", else empty.
    std::string callerName(std::string_view caller) const;
    /// Reads the address book settings again and rebuilds the phonebook from them.
    void reloadPhonebook();
    /// "Jetzt abrufen": the router's phonebooks now; done gets the entries or what failed.
    void fetchRouterPhonebook(std::function<void(int entries, std::string error)> done);
    int callCounter() const { return m_callCounter; }

    /// The line these settings name: the router's call monitor when they name a host,
    /// otherwise CAPI.
    std::unique_ptr<Line> makeLine(const CallMonitorSettings &monitor);
    /// Swaps the running line for line: the old one stops and its open calls are completed
    /// as at a line loss, then line starts.
    void replaceLine(std::unique_ptr<Line> line);
    LockKeySignaller &lockKeys() { return m_lockKeys; }
    /// Notifications of calls from the next call on.
    void setNotificationsEnabled(bool on);
    /// Makes the notifier when notifications are switched on while the program runs
    /// without one (it asks the desktop for its service, so it is made only when needed).
    void setNotifierFactory(std::function<std::pair<CallNotifier *, LineNotifier *>()> factory)
    {
        m_makeNotifier = std::move(factory);
    }
    /// What "Einstellungen…" (menu and window) opens.
    void setSettingsOpener(std::function<void()> opener) { m_openSettings = std::move(opener); }
    /// No line is configured at all: the line is down from the start, not after a grace.
    void setNoLineConfigured(bool none);
    bool isNoLineConfigured() const { return m_noLineConfigured; }
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
    void createLineStatus();
    void createMissedCalls();
    void createLine();
    void createPhonebook();
    void createLogNotice();
    void createTimer();
    void createMenu();
    void createSettingsButton();
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
    std::function<void()> m_openSettings;
    std::function<std::pair<CallNotifier *, LineNotifier *>()> m_makeNotifier;
    bool m_noLineConfigured = false;
    CallLog m_log;
    LockKeySignaller m_lockKeys;
    std::unique_ptr<CallHandling> m_handling;
    std::unique_ptr<LineStatus> m_lineStatus;
    QLabel *m_statusBar = nullptr;
    std::unique_ptr<MissedCalls> m_missed;
    std::unique_ptr<Line> m_line;
    std::unique_ptr<Phonebook> m_phonebook;
    std::unique_ptr<RouterPhonebookSetup> m_router;
    int m_callCounter = 0;
    bool m_unloaded = false;
    std::vector<std::string> m_skippedSteps;
};
