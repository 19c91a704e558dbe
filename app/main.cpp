#include "app/ProgramDir.h"

#include "app/CompositorWatch.h"
#include "app/ProcessEnd.h"
#include "app/QuitSignals.h"
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
#include "ui/PopupMenu.h"
#include "ui/QtSystemTray.h"
#include "ui/icons/AppIcon.h"

#include <QApplication>
#include <QFileInfo>
#include <iostream>
#include <optional>

int main(int argc, char *argv[])
{
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
    QtSystemTray tray{icon};
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
    }

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
    window.Form_Load();
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
