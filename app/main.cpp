#include "Clock.h"
#include "KeyboardSynth.h"
#include "Libcapi20Capi.h"
#include "QtSystemTray.h"
#include "frmCapi.h"
#include "modCapi.h"

#include <QApplication>
#include <QFileInfo>

namespace {

class NoKeyboard final : public KeyboardSynth
{
public:
    void toggleLockKey(LockKey) override {}
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Hiding the window to the tray must not end the program; unloading it does.
    QApplication::setQuitOnLastWindowClosed(false);

    modCapi data;
    Libcapi20Capi capi;
    QtSystemTray tray{QIcon()};
    NoKeyboard keyboard;
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
