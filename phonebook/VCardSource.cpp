#include "phonebook/VCardSource.h"

#include "base/Notice.h"
#include "base/UniqueFd.h"
#include "phonebook/VCardParser.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

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
        // The directory entries' types, without a stat per file: a folder of 10 000 cards
        // costs as many opens already.
        std::error_code ec;
        namespace fs = std::filesystem;
        for (fs::recursive_directory_iterator it(path,
                                                 fs::directory_options::follow_directory_symlink |
                                                     fs::directory_options::skip_permission_denied,
                                                 ec),
             end;
             !ec && it != end; it.increment(ec)) {
            const std::string &file = it->path().native();
            if (it->is_directory(ec)) {
                m_watch.push_back(file);
            } else if (file.size() > 4) {
                std::string suffix = file.substr(file.size() - 4);
                for (char &c : suffix)
                    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
                if (suffix == ".vcf")
                    files.push_back(file);
            }
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
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st = {};
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        notice("Telefonbuch: " + file + " kann nicht gelesen werden: " + std::strerror(errno));
        return;
    }
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
    } else {
        std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        entry.book = parseVCards(bytes, file);
    }
    entry.book.source = file;
    books.push_back(entry.book);
    seen.emplace(file, std::move(entry));
}
