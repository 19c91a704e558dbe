#include "app/FatalError.h"

#include "base/Notice.h"
#include "calllog/CallLog.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

void reportFatalError(const std::string &message)
{
    const std::string text = "Laufzeitfehler: " + message;
    notice(text);
    // The call records still on their way to the log go in (or to stderr) first.
    CallLog::finishBeforeFatalExit();
    if (qApp)
        QMessageBox::critical(nullptr, QStringLiteral("Klingelwacht"),
                              QString::fromStdString("Klingelwacht: " + text));
    // No shutdown step may run after a fatal error.
    std::_Exit(1);
}
