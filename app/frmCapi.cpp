#include "app/frmCapi.h"

#include "app/MissedCalls.h"
#include "app/PhonebookSettings.h"
#include "app/ProcessEnd.h"
#include "app/RouterPhonebookSetup.h"
#include "app/ViewsRecordSink.h"
#include "app/modCapi.h"
#include "base/Notice.h"
#include "calllog/CallLine.h"
#include "calllog/Clock.h"
#include "callmonitor/CallMonitorLine.h"
#include "callmonitor/CallMonitorSettings.h"
#include "capi/CapiLine.h"
#include "phonebook/Phonebook.h"
#include "settings/Profile.h"
#include "ui/CallGridModel.h"
#include "ui/CallListControls.h"
#include "ui/MainWindowViews.h"
#include "ui/PopupMenu.h"
#include "ui/Tray.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
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
    createLineStatus();
    createMissedCalls();
    createLogNotice();
    createTimer();
    createMenu();
    createSettingsButton();
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

void frmCapi::createLineStatus()
{
    m_lineStatus = std::make_unique<LineStatus>(
        LineStatus::Parts{m_platform.tray, m_data.tray, *m_platform.steadyClock, m_platform.clock});
    m_lineStatus->setNotifier(m_platform.lineNotifier);
    m_handling->setLineStatus(m_lineStatus.get());
    // The router's phonebooks may have changed while the router was away.
    m_handling->setLineUpListener([this] {
        if (m_router)
            m_router->source().lineUp();
    });

    // A status bar below the window's fixed client area, which grows by its height.
    m_statusBar = new QLabel(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusBar->setFrameShape(QFrame::StyledPanel);
    m_statusBar->setFrameShadow(QFrame::Sunken);
    m_statusBar->setContentsMargins(4, 0, 4, 0);
    const int barHeight = m_statusBar->fontMetrics().height() + 8;
    const QSize client = size();
    m_statusBar->setGeometry(0, client.height(), client.width(), barHeight);
    setFixedSize(client.width(), client.height() + barHeight);
    m_lineStatus->setStatusView(
        [this](const std::string &text) { m_statusBar->setText(QString::fromStdString(text)); });
}

void frmCapi::setNotificationsEnabled(bool on)
{
    if (on && !m_platform.notifier && m_makeNotifier)
        std::tie(m_platform.notifier, m_platform.lineNotifier) = m_makeNotifier();
    m_handling->setNotifier(on ? m_platform.notifier : nullptr);
    m_lineStatus->setNotifier(on ? m_platform.lineNotifier : nullptr);
}

void frmCapi::setNoLineConfigured(bool none)
{
    m_noLineConfigured = none;
    // Nothing to wait for: without a line the program hears no calls from the first moment.
    if (none && m_lineStatus)
        m_lineStatus->onLineLost();
}

void frmCapi::createPhonebook()
{
    const std::string iniFile = m_platform.programName + ".INI";
    const PhonebookConfig config = readPhonebookSettings(iniFile, m_platform.programDir);
    // The router's source hands its books to the phonebook: it goes first.
    m_router.reset();
    m_phonebook.reset();
    if (!config.isEnabled()) {
        m_handling->setCallerDetails({});
        m_views->model().setNameResolver({});
        return;
    }
    m_phonebook = std::make_unique<Phonebook>(config);
    m_handling->setCallerDetails([this](std::string_view caller) -> std::optional<CallerDetails> {
        const PhonebookAnswer answer = m_phonebook->lookup(caller);
        if (answer.key.empty())
            return std::nullopt; // withheld and internal callers are shown as they were
        return CallerDetails{answer.match ? answer.match->displayName() : std::string(),
                             answer.place, answer.national};
    });
    // A changed address book renames what is shown, without a restart.
    m_views->model().setNameResolver(
        [this](std::string_view caller) { return callerName(caller); });
    connect(m_phonebook.get(), &Phonebook::changed, this, [this] {
        m_handling->refreshNames();
        m_views->model().refreshNames();
    });
    m_phonebook->start();
    m_router = RouterPhonebookSetup::create(
        iniFile, m_platform.programDir,
        [this](const std::vector<PhonebookBook> &books) { m_phonebook->setRouterBooks(books); },
        [this](std::string area, std::string country) {
            m_phonebook->setRouterCodes(std::move(area), std::move(country));
        });
}

void frmCapi::reloadPhonebook()
{
    createPhonebook();
    // Rows and tooltip already shown get the new names, or lose them.
    m_handling->refreshNames();
    m_views->model().refreshNames();
}

void frmCapi::fetchRouterPhonebook(std::function<void(int entries, std::string error)> done)
{
    if (!m_router) {
        done(0, "Das Router-Telefonbuch ist nicht eingeschaltet (Router und Anrufmonitor).");
        return;
    }
    m_router->source().fetchNow(std::move(done));
}

std::string frmCapi::callerName(std::string_view caller) const
{
    return m_phonebook ? m_phonebook->displayText(caller) : std::string();
}

void frmCapi::createMissedCalls()
{
    m_missed = std::make_unique<MissedCalls>(m_platform.tray, m_data.tray, m_platform.clock);
    m_missed->setListShown([this] { return isListShown(); });
    m_handling->setMissedCalls(m_missed.get());
    m_views->controls().setTelHandler(m_platform.tel);
}

bool frmCapi::isListShown() const
{
    return isVisible() && !isMinimized();
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
    m_line = makeLine(monitor);
    m_line->setCallEvents(m_handling.get());
    m_lineStatus->lineStarted(m_line->description(), m_line->downText());
}

std::unique_ptr<Line> frmCapi::makeLine(const CallMonitorSettings &monitor)
{
    if (m_platform.makeLine)
        return m_platform.makeLine(monitor);
    if (monitor.isSet())
        return std::make_unique<CallMonitorLine>(monitor.host, monitor.port,
                                                 [](const std::string &text) { notice(text); });
    return std::make_unique<CapiLine>(m_platform.capi, m_data.capi, m_platform.capiMode);
}

void frmCapi::replaceLine(std::unique_ptr<Line> line)
{
    if (m_line)
        m_line->stop();
    // The old line can no longer clear its calls: they reach the log as lost.
    m_handling->onLineLost();
    m_line = std::move(line);
    m_line->setCallEvents(m_handling.get());
    m_lineStatus->lineStarted(m_line->description(), m_line->downText());
    m_line->start();
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
    connect(m_popup->mnuEinstellungen(), &QAction::triggered, this,
            &frmCapi::mnuEinstellungen_Click);
    m_openPopup = [this](const QPoint &pos) { m_popup->popUpAt(pos); };
    m_platform.tray.setCallback([this](int code) { guarded([&] { Picture1_MouseMove(code); }); });
}

void frmCapi::createSettingsButton()
{
    // Top right, level with Label1.
    auto *button = new QPushButton(QStringLiteral("&Einstellungen…"), this);
    button->setObjectName(QStringLiteral("cmdEinstellungen"));
    button->setAccessibleName(QStringLiteral("Einstellungen"));
    const double tpp = m_views->twipsPerPixel();
    const auto px = [tpp](int twips) { return static_cast<int>(twips / tpp + 0.5); };
    button->setGeometry(px(5325), px(60), px(1800), px(390));
    connect(button, &QPushButton::clicked, this, &frmCapi::mnuEinstellungen_Click);
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
    // Loads on a thread of its own; after ChDir, so relative paths name the program's files.
    step("Telefonbuch", [&] { createPhonebook(); });
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
    m_lineStatus->tick();
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

void frmCapi::mnuEinstellungen_Click()
{
    if (m_openSettings)
        m_openSettings();
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
    if (event->type() == QEvent::WindowStateChange) {
        Form_Resize();
        if (m_missed && isListShown())
            m_missed->clear();
    }
}

void frmCapi::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // However the list came up (tray click, menu, a notification's action, a second start),
    // the person now sees the missed calls.
    if (m_missed)
        m_missed->clear();
}

void frmCapi::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}
