#include "Clock.h"
#include "Libcapi20Capi.h"
#include "QtSystemTray.h"
#include "X11KeyboardSynth.h"
#include "frmCapi.h"
#include "modCapi.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Hiding the window to the tray must not end the program; unloading it does.
    QApplication::setQuitOnLastWindowClosed(false);

    modCapi data;
    Libcapi20Capi capi;
    QtSystemTray tray{QIcon()};
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
    window.Form_Load();
    window.show();
    return QApplication::exec();
}
