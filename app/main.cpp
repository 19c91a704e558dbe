#include "app/ExportCommand.h"
#include "app/ProgramDir.h"

#include "app/Autostart.h"
#include "app/CompositorWatch.h"
#include "app/FirstStart.h"
#include "app/LookupCommand.h"
#include "app/ProcessEnd.h"
#include "app/QuitSignals.h"
#include "app/RouterPhonebookSetup.h"
#include "app/SettingsController.h"
#include "app/SingleInstance.h"
#include "app/frmCapi.h"
#include "app/modCapi.h"
#include "base/Notice.h"
#include "calllog/Clock.h"
#include "capi/Libcapi20Capi.h"
#include "settings/KeyboardSynthChooser.h"
#include "settings/Profile.h"
#include "ui/AppIdentity.h"
#include "ui/DesktopNotifier.h"
#include "ui/DesktopTelHandler.h"
#include "ui/PopupMenu.h"
#include "ui/QtSystemTray.h"
#include "ui/icons/AppIcon.h"

#include <QApplication>
#include <QFileInfo>
#include <iostream>
#include <optional>
#include <string_view>

namespace {

/// The router password goes to the Secret Service item of the router host as the settings
/// name it; once it is there the router's phonebooks are asked with it.
void storeRouterPassword(SecretStore &secrets, const std::string &iniFile,
                         const std::string &iniDir, const std::string &user,
                         const std::string &password, frmCapi &window)
{
    const std::string host = IniGet(iniFile, "Anrufmonitor", "Host", iniDir);
    secrets.store(host, user, password, [&window](const std::string &error) {
        if (!error.empty())
            notice("Router-Passwort nicht gespeichert: " + error);
        else
            window.reloadPhonebook();
    });
}

} // namespace

int main(int argc, char *argv[])
{
    // Command-line modes answer without a display and never take the instance lock.
    if (argc >= 2 && std::string_view(argv[1]) == "--lookup")
        return runLookupCommand(argc, argv);
    // A command of its own: no display, no window, no instance lock.
    if (const auto status = exportCommand(argc, argv))
        return *status;
    QApplication app(argc, argv);
    // Window and notifications name the desktop entry, so the desktop shows its icon and name.
    QApplication::setDesktopFileName(QString::fromLatin1(kAppId));
    // Hiding the window to the tray must not end the program; unloading it does.
    QApplication::setQuitOnLastWindowClosed(false);

    const QString programDir = chooseProgramDir();
    if (programDir.isEmpty())
        return 1;
    // A second start only brings the running program's window up.
    SingleInstance instance(programDir);
    if (const auto claim = instance.claim(); claim != SingleInstance::Claim::First)
        return claim == SingleInstance::Claim::Second ? 0 : 1;

    modCapi data;
    // Never destroyed: a CAPI thread left inside a hanging library call may still use it
    // while the process ends.
    static Libcapi20Capi &capi = *new Libcapi20Capi;
    const QIcon icon = appIcon();
    QApplication::setWindowIcon(icon);
    QtSystemTray tray{icon, lineDownIcon()};
    const std::unique_ptr<KeyboardSynth> keyboard = makeKeyboardSynth();
    SystemClock clock;
    Platform platform{
        capi,
        tray,
        *keyboard,
        clock,
        programDir.toStdString(),
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString()};
    // Benachrichtigung=0 in [Setup] switches the desktop notifications off.
    std::optional<DesktopNotifier> notifier;
    if (IniGet(platform.programName + ".INI", "Setup", "Benachrichtigung", platform.programDir) !=
        "0") {
        notifier.emplace(icon.pixmap(32, 32).toImage());
        platform.notifier = &*notifier;
        platform.lineNotifier = &*notifier;
    }
    const std::string iniFile = platform.programName + ".INI";
    const std::string iniDir = platform.programDir;

    DesktopTelHandler tel;
    platform.tel = &tel;
    frmCapi window(data, std::move(platform));
    window.callLog().startWriter(clock);
    ProcessEnd::installExitHook();
    const auto compositorWatch = CompositorWatch::create([] { ProcessEnd::afterDisplayLoss(); });
    instance.setShowRequestHandler([&window] { window.mnuAnzeigen_Click(); });
    if (notifier)
        notifier->setShowHandler([&window] { window.mnuAnzeigen_Click(); });
    // Every way of ending runs the shutdown once: signals close the window like the menu,
    // and a quit from the session ends it before the event loop returns.
    QuitSignals quitSignals([&window] { window.close(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
                     [&window] { window.Form_Unload(); });
    tray.setContextMenu(&window.mnuPopUp());
    // The settings dialog may switch notifications on during the run.
    window.setNotifierFactory([&notifier, &icon, &window] {
        notifier.emplace(icon.pixmap(32, 32).toImage());
        notifier->setShowHandler([&window] { window.mnuAnzeigen_Click(); });
        return std::pair<CallNotifier *, LineNotifier *>{&*notifier, &*notifier};
    });
    LibsecretStore secrets;
    SettingsController settings(
        window,
        {iniFile, iniDir, Autostart::overridePath(kAppId),
         [] { return std::make_unique<Libcapi20Capi>(); }, LineProbe::routerCandidates()},
        {
            [&](const std::string &user, const std::string &password) {
                storeRouterPassword(secrets, iniFile, iniDir, user, password, window);
                return std::string();
            },
            [&window](auto done) {
                window.fetchRouterPhonebook(
                    [done](int entries, const std::string &error) { done(entries, error); });
            },
            [&window] { window.reloadPhonebook(); },
        });
    window.setSettingsOpener([&settings] { settings.open(); });
    window.Form_Load();
    if (!isAnyLineConfigured(LinePaths::ofThisSystem(),
                             IniGet(iniFile, "Anrufmonitor", "Host", iniDir)))
        settings.showFirstStart();
    // The demos open the call list at once: a demo is there to be watched.
    if (QCoreApplication::arguments().contains(QStringLiteral("--show-window")))
        window.mnuAnzeigen_Click();
    // With a tray the program starts as its icon only; without one the window is the only
    // way in, so it is shown and stays shown.
    if (!tray.isIconShown()) {
        notice("kein Infobereich (System Tray) verfügbar; das Fenster bleibt sichtbar.");
        window.show();
    }
    const int status = QApplication::exec();
    // The log is finished: nothing left is worth waiting for (a hanging host-name lookup
    // would hold ~QApplication, the library's teardown would meet the CAPI thread).
    instance.release();
    ProcessEnd::now(status);
}
