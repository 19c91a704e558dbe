#include "app/frmCapi.h"

#include "app/ProcessEnd.h"
#include "app/ViewsRecordSink.h"
#include "app/modCapi.h"
#include "base/Notice.h"
#include "calllog/CallLine.h"
#include "calllog/Clock.h"
#include "callmonitor/CallMonitorLine.h"
#include "callmonitor/CallMonitorSettings.h"
#include "capi/CapiLine.h"
#include "settings/Profile.h"
#include "ui/MainWindowViews.h"
#include "ui/PopupMenu.h"
#include "ui/Tray.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <system_error>
#include <unistd.h>

frmCapi::frmCapi(modCapi &shared, Platform platform, QWidget *parent)
    : QWidget(parent), m_data(shared), m_platform(std::move(platform)),
      m_lockKeys(m_platform.keyboard, m_data.lockKeys)
{
    setObjectName(QStringLiteral("frmCapi"));
    setWindowTitle(QStringLiteral("Klingelwacht"));
    createViews();
    createCallHandling();
    createLogNotice();
    createTimer();
    createMenu();
}

frmCapi::~frmCapi() = default;

void frmCapi::createViews()
{
    m_views = std::make_unique<MainWindowViews>(*this);
}

void frmCapi::createCallHandling()
{
    m_handling = std::make_unique<CallHandling>(
        CallHandling::Parts{m_data.calls, *m_views, m_lockKeys, m_platform.tray, m_data.tray, m_log,
                            m_platform.clock, m_callCounter});
    m_handling->setNotifier(m_platform.notifier);
}

void frmCapi::createLine()
{
    // A router's call monitor named in the settings replaces CAPI altogether: the library
    // is then never loaded.
    const std::string iniFile = m_platform.programName + ".INI";
    const auto monitor = CallMonitorSettings::fromValues(
        IniGet(iniFile, CallMonitorSettings::kSection, CallMonitorSettings::kHostKey,
               m_platform.programDir),
        IniGet(iniFile, CallMonitorSettings::kSection, CallMonitorSettings::kPortKey,
               m_platform.programDir));
    if (monitor.isSet())
        m_line = std::make_unique<CallMonitorLine>(monitor.host, monitor.port,
                                                   [](const std::string &text) { notice(text); });
    else
        m_line = std::make_unique<CapiLine>(m_platform.capi, m_data.capi, m_platform.capiMode);
    m_line->setCallEvents(m_handling.get());
}

void frmCapi::createLogNotice()
{
    // A call record that cannot be written is kept; the user must hear of it all the same,
    // on stderr and, where there is a tray, in a balloon.
    m_log.setNotifier([this](const std::string &message) {
        notice(message);
        m_platform.tray.showMessage("Klingelwacht", message);
    });
}

void frmCapi::createTimer()
{
    // Runs from the window's creation; its first tick comes from the event loop, so
    // always after Form_Load.
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &frmCapi::Timer1_Timer);
    m_timer->start();
}

void frmCapi::createMenu()
{
    m_popup = new PopupMenu(this);
    connect(m_popup->mnuAnzeigen(), &QAction::triggered, this, &frmCapi::mnuAnzeigen_Click);
    connect(m_popup->mnuBeenden(), &QAction::triggered, this, &frmCapi::mnuBeenden_Click);
    m_openPopup = [this](const QPoint &pos) { m_popup->popUpAt(pos); };
    m_platform.tray.setCallback([this](int code) { guarded([&] { Picture1_MouseMove(code); }); });
}

void frmCapi::step(const char *name, const std::function<void()> &body)
{
    try {
        body();
    } catch (const std::exception &) {
        // Start-up passes over a failing step and goes on with the next one.
        m_skippedSteps.emplace_back(name);
    }
}

void frmCapi::guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        m_platform.fatal(e.what());
    } catch (...) {
        m_platform.fatal("unbekannter Fehler");
    }
}

void frmCapi::Form_Load()
{
    // The program's directory has no drive letter to switch to on this platform.
    step("ChDir", [&] {
        if (::chdir(m_platform.programDir.c_str()) != 0)
            throw std::system_error(errno, std::generic_category(), m_platform.programDir);
    });
    step("SetupCallGrid", [&] { m_views->SetupCallGrid(); });
    // Registration and LISTEN_REQ go to the line's own thread; their outcome comes with
    // the ticks.
    step("CAPI_REGISTER", [&] {
        createLine();
        m_line->start();
    });
    step("TrayTip", [&] { m_data.tray.setTip("<Kein Anruf>"); });
    step("TrayAdd", [&] { m_platform.tray.add(m_data.tray); });
    step("LogLoad", [&] {
        ViewsRecordSink::load(*m_views, [&](LogRecordSink &sink) { m_log.LogLoad(sink); });
    });
    const std::string iniFile = m_platform.programName + ".INI";
    for (int i = 1; i <= 3; ++i) {
        step("IniGet", [&] {
            m_lockKeys.setMsn(
                i, IniGet(iniFile, "Setup", "MSN" + std::to_string(i), m_platform.programDir));
        });
    }
    step("StartMarker",
         [&] { m_log.LogAppend(markerRecord(m_platform.clock.localNow(), MarkerKind::Start)); });
    step("ShowCallCount", [&] { m_views->ShowCallCount(m_callCounter); });
}

void frmCapi::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // One deadline for the whole shutdown: the line's stop wait and the log's sync share it.
    const auto deadline = std::chrono::steady_clock::now() + ProcessEnd::kShutdownBudget;
    m_timer->stop();
    guarded([&] {
        if (m_line)
            m_line->stop();
        m_platform.tray.remove(m_data.tray);
        m_log.finishBy(markerRecord(m_platform.clock.localNow(), MarkerKind::End), deadline);
    });
}

void frmCapi::Timer1_Timer()
{
    m_log.timerTick();
    guarded([&] { Get_Capi_Message(); });
}

void frmCapi::Get_Capi_Message()
{
    if (m_line)
        m_line->tick();
}

void frmCapi::mnuAnzeigen_Click()
{
    m_views->RestoreWindow();
}

void frmCapi::mnuBeenden_Click()
{
    close();
}

void frmCapi::Picture1_MouseMove(int code)
{
    // Wayland lets a menu open only over a window of the program's own and only in answer
    // to an input event there; a right click in the tray is neither, and the menu would
    // become a window of its own (sway tiles it full-screen). There the right click shows
    // the call list, the menu's default item; closing that window is Beenden.
    const bool menuCanOpen = !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (code == Tray::RightButtonDown && menuCanOpen)
        m_openPopup(QCursor::pos());
    if (code == Tray::LeftButtonDown || code == Tray::LeftDoubleClick ||
        (code == Tray::RightButtonDown && !menuCanOpen))
        m_views->RestoreWindow();
}

void frmCapi::Form_Resize()
{
    // Hidden only while the tray icon can bring the window back.
    if ((windowState() & Qt::WindowMinimized) && m_platform.tray.isIconShown())
        hide();
}

void frmCapi::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmCapi::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}
