#include "ui/DesktopTelHandler.h"

#include <QDesktopServices>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUrl>

DesktopTelHandler::DesktopTelHandler(QObject *parent) : QObject(parent)
{
    recheck();
}

void DesktopTelHandler::recheck()
{
    if (m_query)
        return; // the last question is still out
    auto *query = new QProcess(this);
    m_query = query;
    connect(query, &QProcess::finished, this, [this, query](int code, QProcess::ExitStatus how) {
        // xdg-mime names the handler's desktop file, or nothing when there is none.
        m_available = how == QProcess::NormalExit && code == 0 &&
                      !query->readAllStandardOutput().trimmed().isEmpty();
        query->deleteLater();
    });
    connect(query, &QProcess::errorOccurred, this, [this, query](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_available = false; // no xdg-utils: no way to know of a handler
            query->deleteLater();
        }
    });
    // Without XDG_CURRENT_DESKTOP, xdg-mime guesses the desktop by asking the X server
    // (xprop); under Wayland that would start Xwayland for this one question.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    query->setProcessEnvironment(env);
    query->start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                              QStringLiteral("x-scheme-handler/tel")});
}

void DesktopTelHandler::open(const std::string &uri)
{
    QDesktopServices::openUrl(QUrl(QString::fromStdString(uri)));
}
