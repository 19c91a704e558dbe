#include "app/ProgramDir.h"

#include "base/Notice.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void say(const QString &text)
{
    notice(text.toStdString());
}

} // namespace

QString chooseProgramDir(const QString &appDir, const QString &dataHome)
{
    if (::access(QFile::encodeName(appDir).constData(), W_OK) == 0)
        return appDir;
    if (dataHome.isEmpty()) {
        say(QStringLiteral("Programmverzeichnis %1 ist nicht beschreibbar und es gibt kein "
                           "Datenverzeichnis des Benutzers.")
                .arg(appDir));
        return {};
    }
    const QString dir = QDir(dataHome).filePath(QStringLiteral("klingelwacht"));
    const QByteArray path = QFile::encodeName(dir);
    // Only the last level is ours; the ones above are the desktop's and keep its modes.
    QDir().mkpath(dataHome);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        say(QStringLiteral("Verzeichnis %1 kann nicht angelegt werden: %2")
                .arg(dir, QString::fromLocal8Bit(std::strerror(errno))));
        return {};
    }
    struct stat st = {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        ::access(path.constData(), W_OK) != 0) {
        say(QStringLiteral("Verzeichnis %1 ist kein eigenes beschreibbares Verzeichnis.").arg(dir));
        return {};
    }
    say(QStringLiteral("Programmverzeichnis %1 ist nicht beschreibbar; Anrufliste, Einstellungen "
                       "und Sperrdatei liegen in %2")
            .arg(appDir, dir));
    return dir;
}

QString chooseProgramDir()
{
    return chooseProgramDir(QCoreApplication::applicationDirPath(),
                            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

QString existingProgramDir()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    const QString appDir = QString::fromStdString(exe.parent_path().string());
    if (!error && ::access(QFile::encodeName(appDir).constData(), W_OK) == 0)
        return appDir;
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(dataHome).filePath(QStringLiteral("klingelwacht"));
}
