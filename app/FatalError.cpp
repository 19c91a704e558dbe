#include "FatalError.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

void reportFatalError(const std::string &message)
{
    const std::string text = "Klingelwacht: Laufzeitfehler: " + message;
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    if (qApp)
        QMessageBox::critical(nullptr, QStringLiteral("Klingelwacht"),
                              QString::fromStdString(text));
    // No shutdown step may run after a fatal error; every log line is already on disk.
    std::_Exit(1);
}
