#include "app/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdlib>

std::string Autostart::overridePath(const std::string &appId)
{
    // An XDG_CONFIG_HOME that is not absolute is to be ignored.
    const char *config = std::getenv("XDG_CONFIG_HOME");
    std::string dir = config && config[0] == '/' ? config : "";
    if (dir.empty()) {
        const char *home = std::getenv("HOME");
        dir = std::string(home ? home : "") + "/.config";
    }
    return dir + "/autostart/" + appId + ".desktop";
}

bool Autostart::isEnabled() const
{
    QFile file(QString::fromStdString(m_path));
    if (!file.open(QIODevice::ReadOnly))
        return true;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith("Hidden") && line.mid(6).trimmed() == "=true")
            return false;
    }
    return true;
}

std::string Autostart::setEnabled(bool on) const
{
    const QString path = QString::fromStdString(m_path);
    if (on) {
        if (!QFileInfo::exists(path) || isEnabled())
            return {};
        QFile file(path);
        return file.remove() ? std::string() : m_path + ": " + file.errorString().toStdString();
    }
    if (!isEnabled())
        return {};
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QFileInfo(path).absolutePath().toStdString() + ": Ordner nicht angelegt";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return m_path + ": " + file.errorString().toStdString();
    file.write("[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Klingelwacht\n"
               "Hidden=true\n");
    if (!file.commit())
        return m_path + ": " + file.errorString().toStdString();
    return {};
}
