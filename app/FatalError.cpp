#include "app/FatalError.h"

#include "calllog/CallLog.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

void reportFatalError(const std::string &message)
{
    const std::string text = "Klingelwacht: Laufzeitfehler: " + message;
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    // The call lines still on their way to the log go in (or to stderr) first.
    CallLog::finishBeforeFatalExit();
    if (qApp)
        QMessageBox::critical(nullptr, QStringLiteral("Klingelwacht"),
                              QString::fromStdString(text));
    // No shutdown step may run after a fatal error.
    std::_Exit(1);
}
