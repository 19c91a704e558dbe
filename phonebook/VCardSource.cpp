#include "phonebook/VCardSource.h"

#include "base/Notice.h"
#include "phonebook/PhonebookConfig.h"
#include "phonebook/VCardParser.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

std::string PhonebookConfig::expandHome(const std::string &path, const std::string &home)
{
    if (path == "~")
        return home;
    if (path.rfind("~/", 0) == 0)
        return home + path.substr(1);
    return path;
}

std::vector<PhonebookBook> VCardSource::load(const std::vector<std::string> &paths)
{
    std::vector<PhonebookBook> books;
    std::map<std::string, Cached> seen;
    m_watch.clear();
    m_changed = false;
    for (const std::string &path : paths) {
        const QString qpath = QString::fromStdString(path);
        const QFileInfo info(qpath);
        if (!info.exists()) {
            if (m_toldMissing.insert(path).second)
                notice("Telefonbuch: " + path + " nicht gefunden");
            // Its folder is watched, so the file is read once it appears.
            m_watch.push_back(info.absolutePath().toStdString());
            continue;
        }
        m_toldMissing.erase(path);
        if (!info.isDir()) {
            m_watch.push_back(path);
            // Editors replace a file by renaming a new one over it: the folder sees that.
            m_watch.push_back(info.absolutePath().toStdString());
            loadFile(path, books, seen);
            continue;
        }
        m_watch.push_back(path);
        std::vector<std::string> files;
        QDirIterator it(qpath, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) {
            const QString file = it.next();
            const QFileInfo fi = it.fileInfo();
            if (fi.isDir())
                m_watch.push_back(file.toStdString());
            else if (fi.suffix().compare(QLatin1String("vcf"), Qt::CaseInsensitive) == 0)
                files.push_back(file.toStdString());
        }
        std::sort(files.begin(), files.end());
        for (const std::string &file : files)
            loadFile(file, books, seen);
    }
    // A file gone since the last load changes the books as much as a new one.
    m_changed = m_changed || seen.size() != m_cache.size();
    m_cache = std::move(seen);
    return books;
}

void VCardSource::loadFile(const std::string &file, std::vector<PhonebookBook> &books,
                           std::map<std::string, Cached> &seen)
{
    struct stat st = {};
    if (::stat(file.c_str(), &st) != 0)
        return;
    const std::int64_t mtimeNs =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (const auto it = m_cache.find(file);
        it != m_cache.end() && it->second.size == st.st_size && it->second.mtimeNs == mtimeNs) {
        books.push_back(it->second.book);
        seen.insert(*it);
        return;
    }
    m_changed = true;
    Cached entry{static_cast<std::int64_t>(st.st_size), mtimeNs, {}};
    if (st.st_size > kMaxFileBytes) {
        notice("Telefonbuch: " + file + " ist größer als 64 MiB und wird nicht gelesen");
    } else if (std::FILE *f = std::fopen(file.c_str(), "rb")) {
        std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
        const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        bytes.resize(got);
        entry.book = parseVCards(bytes, file);
    } else {
        notice("Telefonbuch: " + file + " kann nicht gelesen werden: " + std::strerror(errno));
    }
    entry.book.source = file;
    books.push_back(entry.book);
    seen.emplace(file, std::move(entry));
}
