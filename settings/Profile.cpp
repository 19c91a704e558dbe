#include "settings/Profile.h"

#include "settings/ProfileText.h"

#include "base/FdIo.h"
#include "base/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct FileContents
{
    std::string bytes;
    struct stat info;
};

// A path with a NUL would name a different file once handed to the system.
bool isUsablePath(const std::string &path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

// The bytes of a regular file; nullopt when it is missing, unreadable, or something else
// (a directory, a FIFO, a device). O_NONBLOCK keeps the open of a FIFO from waiting.
std::optional<FileContents> readRegularFile(const std::string &path)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd)
        return std::nullopt;
    FileContents file;
    if (::fstat(fd.get(), &file.info) != 0 || !S_ISREG(file.info.st_mode))
        return std::nullopt;
    file.bytes.reserve(static_cast<std::size_t>(file.info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = readRetrying(fd.get(), buffer, sizeof buffer);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        file.bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return file;
}

// Removes the temporary file unless it has been renamed over the original.
class TempFileGuard
{
public:
    explicit TempFileGuard(std::string path) : m_path(std::move(path)) {}
    ~TempFileGuard()
    {
        if (!m_committed)
            ::unlink(m_path.c_str());
    }
    TempFileGuard(const TempFileGuard &) = delete;
    TempFileGuard &operator=(const TempFileGuard &) = delete;
    void commit() { m_committed = true; }

private:
    std::string m_path;
    bool m_committed = false;
};

std::string parentDirectory(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Replaces the file at path (already resolved, no symbolic link) by bytes: a temporary
// file in the same directory, synced, then renamed over it, so that a crash leaves either
// the old file or the new one, never half of it.
// Returns 0 or the errno that stopped it; original is null for a file that is new.
int replaceFile(const std::string &path, const std::string &bytes, const struct stat *original)
{
    const std::string dir = parentDirectory(path);
    // A short name of its own: the original's name plus a suffix could exceed NAME_MAX.
    std::string tempPath = dir + "/.klingelwacht-ini.XXXXXX";
    UniqueFd fd(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (!fd)
        return errno;
    TempFileGuard guard(tempPath);
    // Keep the original's permissions (mkostemp creates 0600) and, where allowed, owner;
    // a new file gets what the umask leaves of 0666, as any other new file.
    mode_t mode = 0;
    if (original) {
        mode = original->st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd.get(), mode) != 0)
        return errno;
    // Only root may give a file away; otherwise it becomes ours, as an editor's save does.
    if (original) {
        [[maybe_unused]] const int kept = ::fchown(fd.get(), original->st_uid, original->st_gid);
    }
    if (const WriteOutcome w = writeAll(fd.get(), bytes); w.err != 0)
        return w.err;
    if (::fsync(fd.get()) != 0 || fd.close() != 0)
        return errno;
    if (::rename(tempPath.c_str(), path.c_str()) != 0)
        return errno;
    guard.commit();
    UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd)
        ::fsync(dirFd.get());
    return 0;
}

// The file a symbolic link points to, so that a delete rewrites the file itself and
// keeps the link; nullopt when the path leads nowhere.
std::optional<std::string> realPath(const std::string &path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved)
        return std::nullopt;
    return std::string(resolved.get());
}

} // namespace

std::string IniGet(std::string IniDatei, std::string_view Gruppe, std::string_view Eintrag,
                   const std::string &programDir)
{
    try {
        const std::string path = ProfileText::resolveFileName(std::move(IniDatei), programDir);
        if (!isUsablePath(path))
            return {};
        const std::optional<FileContents> file = readRegularFile(path);
        if (!file)
            return {};
        return ProfileText::findValue(file->bytes, Gruppe, Eintrag);
    } catch (const std::exception &) {
        // Only std::bad_alloc can get here (a file larger than memory); a read that
        // fails gives the empty text, like a missing key.
        return {};
    }
}

void IniDel(std::string IniDatei, std::string_view Gruppe, std::string_view Eintrag,
            const std::string &programDir)
{
    try {
        const std::string path = ProfileText::resolveFileName(std::move(IniDatei), programDir);
        if (!isUsablePath(path))
            return;
        const std::optional<std::string> target = realPath(path);
        if (!target)
            return;
        const std::optional<FileContents> file = readRegularFile(*target);
        if (!file)
            return;
        const std::optional<std::string> rest =
            ProfileText::removeKey(file->bytes, Gruppe, Eintrag);
        if (!rest)
            return;
        replaceFile(*target, *rest, &file->info);
    } catch (const std::exception &) {
        // Only std::bad_alloc can get here; the file is then left as it was (the
        // temporary file's guard removes what was written).
        return;
    }
}

std::error_code IniSet(std::string IniDatei, std::string_view Gruppe, std::string_view Eintrag,
                       std::string_view Wert, const std::string &programDir)
{
    return IniSetAll(std::move(IniDatei),
                     {{std::string(Gruppe), std::string(Eintrag), std::string(Wert)}}, programDir);
}

std::error_code IniSetAll(std::string IniDatei, const std::vector<ProfileText::Assignment> &values,
                          const std::string &programDir)
{
    const auto error = [](int e) { return std::error_code(e, std::generic_category()); };
    try {
        for (const auto &a : values)
            if (!ProfileText::isWritable(a))
                return error(EINVAL);
        std::string path = ProfileText::resolveFileName(std::move(IniDatei), programDir);
        if (!isUsablePath(path))
            return error(EINVAL);
        // Through a symbolic link to the file itself; a file not there yet is created.
        std::optional<FileContents> file;
        if (const std::optional<std::string> target = realPath(path)) {
            path = *target;
            errno = 0;
            file = readRegularFile(path);
            if (!file)
                return error(errno != 0 ? errno : EINVAL);
        } else if (errno != ENOENT) {
            return error(errno);
        }
        const std::optional<std::string> bytes =
            ProfileText::setValues(file ? file->bytes : std::string(), values);
        if (!bytes)
            return {};
        if (const int e = replaceFile(path, *bytes, file ? &file->info : nullptr); e != 0)
            return error(e);
        return {};
    } catch (const std::bad_alloc &) {
        return error(ENOMEM);
    }
}
