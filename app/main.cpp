#include "Clock.h"
#include "Libcapi20Capi.h"
#include "PopupMenu.h"
#include "QtSystemTray.h"
#include "X11KeyboardSynth.h"
#include "frmCapi.h"
#include "icons/AppIcon.h"
#include "modCapi.h"

#include <QApplication>
#include <QFileInfo>
#include <iostream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Hiding the window to the tray must not end the program; unloading it does.
    QApplication::setQuitOnLastWindowClosed(false);

    modCapi data;
    Libcapi20Capi capi;
    const QIcon icon = appIcon();
    QApplication::setWindowIcon(icon);
    QtSystemTray tray{icon};
    X11KeyboardSynth keyboard;
    SystemClock clock;
    Platform platform{
        capi,
        tray,
        keyboard,
        clock,
        QCoreApplication::applicationDirPath().toStdString(),
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString()};

    frmCapi window(data, std::move(platform));
    tray.setContextMenu(&window.mnuPopUp());
    window.Form_Load();
    // With a tray the program starts as its icon only; without one the window is the only
    // way in, so it is shown and stays shown.
    if (!tray.isIconShown()) {
        std::cerr << "Klingelwacht: kein Infobereich (System Tray) verfügbar; das Fenster "
                     "bleibt sichtbar."
                  << std::endl;
        window.show();
    }
    return QApplication::exec();
}
