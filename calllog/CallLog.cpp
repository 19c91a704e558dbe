#include "CallLog.h"

#include "CallViews.h"
#include "LogReader.h"
#include "UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

class FdSource final : public ByteSource
{
public:
    FdSource(int fd, const std::string &name) : m_fd(fd), m_name(name) {}
    std::size_t readSome(char *dst, std::size_t max) override
    {
        for (;;) {
            const ssize_t n = ::read(m_fd, dst, max);
            if (n >= 0)
                return static_cast<std::size_t>(n);
            if (errno != EINTR)
                throw std::system_error(errno, std::generic_category(), m_name);
        }
    }

private:
    int m_fd;
    const std::string &m_name;
};

[[noreturn]] void raise(int err, const std::string &name)
{
    throw std::system_error(err, std::generic_category(), name);
}

/// The log opened for reading, or nothing when there is no regular file of that name.
std::optional<UniqueFd> openForLoad(const std::string &name)
{
    struct stat st = {};
    if (::stat(name.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        raise(errno, name);
    }
    // A directory, FIFO, socket or device counts as missing; nothing here may block.
    if (!S_ISREG(st.st_mode))
        return std::nullopt;
    UniqueFd fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        if (errno == ENOENT)
            return std::nullopt;
        raise(errno, name);
    }
    // The name may have been replaced between the two looks.
    if (::fstat(fd.get(), &st) != 0)
        raise(errno, name);
    if (!S_ISREG(st.st_mode))
        return std::nullopt;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

/// Takes the first written bytes of a line out of the file again, unless another writer
/// has appended after them, so that the file never keeps a piece of a line.
void rollBack(int fd, std::size_t written)
{
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat st = {};
    if (end < static_cast<off_t>(written) || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != end)
        return;
    if (::ftruncate(fd, end - static_cast<off_t>(written)) != 0)
        std::perror("caller.log: ftruncate");
}

std::string lineBytes(std::string_view line)
{
    // A line end inside the text would make two lines of one.
    std::string out;
    out.reserve(line.size() + 2);
    for (const char c : line)
        out += (c == '\r' || c == '\n') ? ' ' : c;
    out += "\r\n";
    return out;
}

} // namespace

CallLog::CallLog(std::string fileName)
    : m_fileName(std::move(fileName)),
      m_notify([](const std::string &message) { std::fprintf(stderr, "%s\n", message.c_str()); })
{}

CallLog::WriteResult CallLog::writeLine(std::string_view line) const
{
    const std::string out = lineBytes(line);
    // O_NONBLOCK: a FIFO without a reader fails at once instead of blocking the program.
    UniqueFd fd(::open(m_fileName.c_str(),
                       O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644));
    if (!fd)
        return {errno, 0};
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(fd.get(), out.data() + done, out.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            const int err = n < 0 ? errno : EIO;
            if (done > 0)
                rollBack(fd.get(), done);
            return {err, 0};
        }
    }
    // Devices and FIFOs cannot be synced (EINVAL, EROFS); only a file's data matters.
    if (::fdatasync(fd.get()) != 0 && errno != EINVAL && errno != EROFS)
        return {0, errno};
    if (fd.close() != 0)
        return {0, errno};
    return {};
}

CallLog::WriteResult CallLog::writeKeptLines()
{
    WriteResult result;
    while (!m_kept.empty()) {
        const WriteResult r = writeLine(m_kept.front());
        if (r.writeError) {
            result.writeError = r.writeError;
            break;
        }
        // A line that is written but not synced is not kept: writing it again would
        // double it in the file.
        m_kept.pop_front();
        if (r.syncError)
            result.syncError = r.syncError;
    }
    return result;
}

void CallLog::report(const WriteResult &r)
{
    if (!r.writeError && !r.syncError) {
        m_failing = false;
        return;
    }
    if (m_failing)
        return;
    m_failing = true;
    const std::string reason =
        std::generic_category().message(r.writeError ? r.writeError : r.syncError);
    const std::string message =
        r.writeError ? "Anrufliste " + m_fileName + " kann nicht geschrieben werden: " + reason +
                           ". Die Anrufe werden nachgetragen."
                     : "Anrufliste " + m_fileName + " kann nicht gesichert werden: " + reason + ".";
    if (m_notify)
        m_notify(message);
}

bool CallLog::appendCallLine(std::string_view line)
{
    m_kept.emplace_back(line);
    const WriteResult r = writeKeptLines();
    report(r);
    return r.writeError == 0;
}

void CallLog::flushKeptLines()
{
    const WriteResult r = writeKeptLines();
    report(r);
    if (r.writeError)
        raise(r.writeError, m_fileName);
}

void CallLog::LogAppend(std::string_view line)
{
    flushKeptLines();
    const WriteResult r = writeLine(line);
    if (r.writeError)
        raise(r.writeError, m_fileName);
    if (r.syncError)
        raise(r.syncError, m_fileName);
}

void CallLog::LogLoad(CallViews &views)
{
    try {
        if (std::optional<UniqueFd> fd = openForLoad(m_fileName)) {
            FdSource source(fd->get(), m_fileName);
            fillViews(source, views);
        }
    } catch (const std::system_error &) {
        // The grid is tidied as after a whole load; start-up passes over the error.
        removeEmptyRow(views);
        throw;
    }
    removeEmptyRow(views);
}
