#include "phonebook/RouterPhonebookCache.h"

#include "phonebook/PhonebookXmlReader.h"

#include <QFile>
#include <QXmlStreamWriter>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace RouterPhonebookCache {

namespace {

QByteArray serialised(const Contents &contents)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("phonebooks");
    xml.writeAttribute("areaCode", QString::fromStdString(contents.areaCode));
    xml.writeAttribute("countryCode", QString::fromStdString(contents.countryCode));
    for (const auto &book : contents.books) {
        xml.writeStartElement("phonebook");
        const std::string prefix = PhonebookXmlReader::sourceName("");
        const std::string name =
            book.source.rfind(prefix, 0) == 0 ? book.source.substr(prefix.size()) : book.source;
        xml.writeAttribute("name", QString::fromStdString(name));
        for (const auto &e : book.entries) {
            xml.writeStartElement("contact");
            xml.writeStartElement("person");
            xml.writeTextElement("realName", QString::fromStdString(e.name));
            xml.writeEndElement();
            xml.writeStartElement("telephony");
            xml.writeTextElement("number", QString::fromStdString(e.number));
            xml.writeEndElement();
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return out;
}

std::string systemError(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

std::mutex g_writeMutex;
std::atomic<unsigned long> g_started{0};
unsigned long g_written = 0; // under g_writeMutex

} // namespace

std::string save(const std::string &dir, const Contents &contents)
{
    const unsigned long mine = ++g_started;
    const QByteArray bytes = serialised(contents);
    const std::lock_guard lock(g_writeMutex);
    if (mine < g_written)
        return {}; // a newer copy is already on disk
    const std::string path = dir + "/" + kFileName;
    std::string tmp = path + ".XXXXXX";
    // mkstemp creates the file with mode 0600: the names and numbers are nobody else's.
    const int fd = mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0)
        return systemError(tmp);
    const char *p = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    std::string error;
    while (left > 0 && error.empty()) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = systemError(tmp);
        else {
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    if (error.empty() && ::fdatasync(fd) != 0)
        error = systemError(tmp);
    if (::close(fd) != 0 && error.empty())
        error = systemError(tmp);
    if (error.empty() && std::rename(tmp.c_str(), path.c_str()) != 0)
        error = systemError(path);
    if (!error.empty()) {
        std::remove(tmp.c_str());
        return error;
    }
    g_written = mine;
    return {};
}

Contents load(const std::string &dir)
{
    Contents out;
    QFile file(QString::fromStdString(dir + "/" + kFileName));
    if (!file.exists())
        return out;
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = file.errorString().toStdString();
        return out;
    }
    auto read = PhonebookXmlReader::read(file.readAll(), "Telefonbuch");
    out.found = read.error.empty();
    out.error = read.error;
    if (out.found) {
        out.books = std::move(read.books);
        out.areaCode = std::move(read.areaCode);
        out.countryCode = std::move(read.countryCode);
    }
    return out;
}

} // namespace RouterPhonebookCache
