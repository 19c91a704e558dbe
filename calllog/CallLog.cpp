#include "calllog/CallLog.h"

#include "base/FdIo.h"
#include "base/Notice.h"
#include "base/UniqueFd.h"
#include "calllog/CallLine.h"
#include "calllog/Clock.h"
#include "calllog/LogReader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class FdSource final : public ByteSource
{
public:
    FdSource(int fd, const std::string &name) : m_fd(fd), m_name(name) {}
    std::size_t readSome(char *dst, std::size_t max) override
    {
        const ssize_t n = readRetrying(m_fd, dst, max);
        if (n < 0)
            throw std::system_error(errno, std::generic_category(), m_name);
        return static_cast<std::size_t>(n);
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

/// Takes the first written bytes of a record out of the file again, unless another writer
/// has appended after them, so that the file never keeps a piece of a record.
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

std::string recordBytes(std::string_view record)
{
    // A CR or LF inside the text would make two records of one.
    std::string out;
    out.reserve(record.size() + 2);
    for (const char c : record)
        out += (c == '\r' || c == '\n') ? ' ' : c;
    out += "\r\n";
    return out;
}

struct WriteResult
{
    int writeError = 0; // the record is not in the file
    int syncError = 0;  // the record is in the file but may not be on the disk
};

/// Whether the file's last byte is something other than LF: a record typed in by hand
/// without its end, which the next record must not be glued onto.
bool endsInsideARecord(int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
        return false;
    // The descriptor appends only; its file is read through a second one.
    const UniqueFd reader(::open(("/proc/self/fd/" + std::to_string(fd)).c_str(),
                                 O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    char last = '\n';
    return reader && ::pread(reader.get(), &last, 1, st.st_size - 1) == 1 && last != '\n';
}

/// Takes the log's lock. Blocking is allowed only where the caller may wait; otherwise a
/// lock held by another writer for longer than lockWait counts as a failed write.
int lockLog(int fd, std::optional<std::chrono::milliseconds> lockWait)
{
    if (!lockWait) {
        while (::flock(fd, LOCK_EX) != 0)
            if (errno != EINTR)
                return errno;
        return 0;
    }
    const auto until = std::chrono::steady_clock::now() + *lockWait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return errno;
        if (std::chrono::steady_clock::now() >= until)
            return EWOULDBLOCK;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return 0;
}

/// Writes the record; with sync it is on the disk before this returns, without it the
/// writer thread syncs it later (syncLog). lockWait: see lockLog.
WriteResult writeRecord(const std::string &fileName, std::string_view record, bool sync,
                        std::optional<std::chrono::milliseconds> lockWait = std::nullopt)
{
    // O_NONBLOCK: a FIFO without a reader fails at once instead of blocking the program.
    // O_NOFOLLOW: a link planted in place of the log must not redirect the call records,
    // which are nobody else's business (0600).
    UniqueFd fd(::open(
        fileName.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, 0600));
    if (!fd)
        return {errno, 0};
    // Another writer's record that spans pages can be seen half-way, its end not yet there;
    // writers of the log take turns, so the last byte looked at is a finished record's.
    if (const int err = lockLog(fd.get(), lockWait); err != 0)
        return {err, 0};
    const std::string out = (endsInsideARecord(fd.get()) ? "\r\n" : "") + recordBytes(record);
    if (const WriteOutcome w = writeAll(fd.get(), out); w.err != 0) {
        if (w.done > 0)
            rollBack(fd.get(), w.done);
        return {w.err, 0};
    }
    // Devices and FIFOs cannot be synced (EINVAL, EROFS); only a file's data matters.
    if (sync && ::fdatasync(fd.get()) != 0 && errno != EINVAL && errno != EROFS)
        return {0, errno};
    if (fd.close() != 0)
        return {0, errno};
    return {};
}

/// Puts what was written to the log on the disk: 0 or the errno of the sync.
int syncLog(const std::string &fileName)
{
    const UniqueFd fd(
        ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!fd)
        return errno == ENOENT ? 0 : errno;
    if (::fdatasync(fd.get()) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

std::string failureText(const std::string &fileName, int err)
{
    if (err == ELOOP)
        return "Anrufliste " + fileName +
               " ist ein symbolischer Verweis und wird nicht beschrieben.";
    return "Anrufliste " + fileName +
           " kann nicht geschrieben werden: " + std::generic_category().message(err) + ".";
}

void writeStderr(const std::string &text)
{
    noticeVerbatim(text);
}

} // namespace

struct CallLog::State
{
    explicit State(std::string name) : fileName(std::move(name)) {}

    struct Entry
    {
        std::string text;
        bool keep = true; // a call record: kept when it cannot be written
    };

    /// Writes the kept records from the front until a call record fails (it stays, with all
    /// behind it). Lock held: the writes are quick, the sync is the writer thread's. Without
    /// the writer each record is synced here, and the lock is let go while it is written.
    WriteResult drain(std::unique_lock<std::mutex> &lock)
    {
        WriteResult result;
        while (!pending.empty() && !blocked) {
            const Entry entry = pending.front();
            WriteResult r;
            if (writer.joinable()) {
                r = writeRecord(fileName, entry.text, false, kLockWait);
            } else {
                busy = true;
                lock.unlock();
                r = writeRecord(fileName, entry.text, true);
                lock.lock();
                busy = false;
            }
            if (r.writeError && entry.keep) {
                blocked = true;
                lastError = r.writeError;
                lastFailure = std::chrono::steady_clock::now();
                result.writeError = r.writeError;
                break;
            }
            // A record that is written but not synced is not kept: writing it again would
            // double it in the file. A marker that cannot be written is lost.
            pending.pop_front();
            if (r.writeError)
                result.writeError = r.writeError;
            if (r.syncError)
                result.syncError = r.syncError;
            if (!r.writeError && writer.joinable()) {
                unsynced.push_back(entry.text);
                wake.notify_one();
            }
        }
        return result;
    }

    /// Queues the notice for the first failure after a success. Lock held.
    void report(const WriteResult &r)
    {
        if (!r.writeError && !r.syncError) {
            failing = false;
            return;
        }
        if (failing)
            return;
        failing = true;
        notices.push_back(
            r.writeError ? failureText(fileName, r.writeError) + " Die Anrufe werden nachgetragen."
                         : "Anrufliste " + fileName + " kann nicht gesichert werden: " +
                               std::generic_category().message(r.syncError) + ".");
    }

    bool isIdle() const { return !busy && unsynced.empty(); }

    /// Syncs what the caller's thread has written, all of it with one fdatasync.
    void writerLoop()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return stop || !unsynced.empty(); });
            if (stop)
                break;
            const std::size_t batch = unsynced.size();
            busy = true;
            lock.unlock();
            const int err = syncLog(fileName);
            lock.lock();
            busy = false;
            if (abandoned)
                break; // finish() has given up on the writer
            unsynced.erase(unsynced.begin(), unsynced.begin() + static_cast<long>(batch));
            // Only a failure is news here; the writes say when the log works again.
            if (err != 0)
                report(WriteResult{0, err});
            idle.notify_all();
        }
        writerDone = true;
        idle.notify_all();
    }

    /// See CallLog::finish. Safe to call from an exit handler and from any thread: no Qt,
    /// waiting bounded by the deadline. A second call waits for the first to be done.
    void finish(std::optional<std::string> endMarker,
                std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock lock(mutex);
        if (finished) {
            done.wait_until(lock, deadline, [&] { return finishDone; });
            return;
        }
        finished = true;
        if (endMarker)
            pending.push_back({std::move(*endMarker), true});
        blocked = false; // one last try for the kept records
        report(drain(lock));
        if (writer.joinable()) {
            wake.notify_all();
            idle.wait_until(lock, deadline, [&] { return isIdle(); });
        }
        std::string text;
        for (const std::string &notice : notices)
            text += "Klingelwacht: " + notice + "\n";
        notices.clear();
        if (!pending.empty()) {
            text += "Klingelwacht: " + failureText(fileName, lastError) +
                    " Diese Zeilen fehlen darin:\n";
            for (const Entry &entry : pending)
                text += entry.text + "\n";
        }
        // In the file already: pasting them back would double them.
        if (!unsynced.empty()) {
            text += "Klingelwacht: Anrufliste " + fileName +
                    " wurde nicht rechtzeitig gesichert. Diese Zeilen sind geschrieben, aber "
                    "nicht bestätigt:\n";
            for (const std::string &line : unsynced)
                text += line + "\n";
        }
        pending.clear();
        unsynced.clear();
        abandoned = true;
        stop = true;
        wake.notify_all();
        if (writer.joinable()) {
            // A writer stuck on a hung disk is left behind; the process ends without it.
            const auto join = std::min(deadline, std::chrono::steady_clock::now() +
                                                     std::chrono::milliseconds(100));
            if (idle.wait_until(lock, join, [&] { return writerDone; })) {
                lock.unlock();
                writer.join();
            } else {
                writer.detach();
                lock.unlock();
            }
        } else {
            lock.unlock();
        }
        if (!text.empty())
            writeStderr(text);
        lock.lock();
        finishDone = true;
        done.notify_all();
    }

    /// A lock on the log held longer than this by another writer fails the write (kept).
    static constexpr std::chrono::milliseconds kLockWait{200};

    const std::string fileName;
    mutable std::mutex mutex;
    std::condition_variable wake;         // the writer has work
    mutable std::condition_variable idle; // the writer has none it can do
    std::condition_variable done;         // finish() is over
    std::deque<Entry> pending;            // kept: not in the file yet, in event order
    std::deque<std::string> unsynced;     // in the file, not yet synced
    std::vector<std::string> notices;     // for the notifier, on the caller's thread
    std::thread writer;
    const Clock *clock = nullptr; // for the end marker at exit
    bool blocked = false;         // the front call record failed; waiting for a retry
    bool busy = false;            // a record is being written or synced
    bool failing = false;
    bool finished = false;
    bool finishDone = false;
    bool abandoned = false;
    bool stop = false;
    bool writerDone = false;
    int lastError = 0;
    std::chrono::steady_clock::time_point lastFailure;
};

namespace {

// The log that the process finishes when it ends by exit() without the orderly shutdown.
std::mutex g_exitMutex;
std::shared_ptr<CallLog::State> g_exitLog;

std::shared_ptr<CallLog::State> exitLog()
{
    std::lock_guard guard(g_exitMutex);
    return g_exitLog;
}

void finishAtEnd(std::chrono::steady_clock::time_point deadline)
{
    const std::shared_ptr<CallLog::State> state = exitLog();
    if (!state)
        return;
    std::optional<std::string> marker;
    {
        std::lock_guard guard(state->mutex);
        if (state->finished && state->finishDone)
            return;
        if (state->clock && !state->finished)
            marker = markerRecord(state->clock->localNow(), MarkerKind::End);
    }
    state->finish(std::move(marker), deadline);
}

void finishAtExit()
{
    finishAtEnd(std::chrono::steady_clock::now() + std::chrono::seconds(5));
}

} // namespace

CallLog::CallLog(std::string fileName)
    : m_state(std::make_shared<State>(std::move(fileName))),
      m_notify([](const std::string &message) { notice(message); })
{}

CallLog::~CallLog()
{
    if (!m_state)
        return;
    {
        std::lock_guard guard(m_state->mutex);
        m_state->clock = nullptr;
        if (!m_state->writer.joinable())
            return;
    }
    m_state->finish(std::nullopt, std::chrono::steady_clock::now() + std::chrono::seconds(5));
}

const std::string &CallLog::fileName() const
{
    return m_state->fileName;
}

std::size_t CallLog::keptRecordCount() const
{
    std::lock_guard guard(m_state->mutex);
    std::size_t n = 0;
    for (const State::Entry &entry : m_state->pending)
        n += entry.keep;
    return n;
}

void CallLog::deliverNotices()
{
    std::vector<std::string> notices;
    {
        std::lock_guard guard(m_state->mutex);
        notices.swap(m_state->notices);
    }
    for (const std::string &notice : notices)
        if (m_notify)
            m_notify(notice);
}

void CallLog::startWriter(const Clock &clock)
{
    {
        std::lock_guard guard(m_state->mutex);
        if (m_state->writer.joinable() || m_state->finished)
            return;
        m_state->clock = &clock;
        m_state->writer = std::thread([state = m_state] { state->writerLoop(); });
    }
    std::lock_guard guard(g_exitMutex);
    static const bool registered = std::atexit(finishAtExit) == 0;
    (void)registered;
    g_exitLog = m_state;
}

bool CallLog::appendCallRecord(std::string_view record)
{
    State &s = *m_state;
    std::unique_lock lock(s.mutex);
    if (s.finished)
        return false;
    s.pending.push_back({std::string(record), true});
    // A new call record is the moment to try the kept ones again: they go first.
    s.blocked = false;
    s.report(s.drain(lock));
    const bool written = s.pending.empty();
    lock.unlock();
    deliverNotices();
    return written;
}

void CallLog::flushKeptRecords()
{
    State &s = *m_state;
    std::unique_lock lock(s.mutex);
    s.blocked = false;
    const WriteResult r = s.drain(lock);
    s.report(r);
    lock.unlock();
    deliverNotices();
    if (r.writeError)
        raise(r.writeError, s.fileName);
}

void CallLog::LogAppend(std::string_view record)
{
    State &s = *m_state;
    {
        std::unique_lock lock(s.mutex);
        if (s.finished)
            return;
        if (s.writer.joinable()) {
            s.pending.push_back({std::string(record), false});
            s.report(s.drain(lock));
            return;
        }
    }
    flushKeptRecords();
    const WriteResult r = writeRecord(s.fileName, record, true);
    if (r.writeError)
        raise(r.writeError, s.fileName);
    if (r.syncError)
        raise(r.syncError, s.fileName);
}

void CallLog::timerTick()
{
    State &s = *m_state;
    std::unique_lock lock(s.mutex);
    if (s.blocked && !s.pending.empty() &&
        std::chrono::steady_clock::now() - s.lastFailure >= m_retryInterval) {
        s.blocked = false;
        s.report(s.drain(lock));
    }
    lock.unlock();
    deliverNotices();
}

void CallLog::finish(std::optional<std::string> endMarker, std::chrono::milliseconds wait)
{
    finishBy(std::move(endMarker), std::chrono::steady_clock::now() + wait);
}

void CallLog::finishBy(std::optional<std::string> endMarker,
                       std::chrono::steady_clock::time_point deadline)
{
    m_state->finish(std::move(endMarker), deadline);
}

bool CallLog::waitIdle(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->idle.wait_for(lock, timeout, [&] { return m_state->isIdle(); });
}

void CallLog::finishBeforeFatalExit()
{
    if (const std::shared_ptr<State> state = exitLog())
        state->finish(std::nullopt, std::chrono::steady_clock::now() + std::chrono::seconds(5));
}

void CallLog::finishAtProcessEnd(std::chrono::steady_clock::time_point deadline)
{
    finishAtEnd(deadline);
}

void CallLog::checkLoadSize(std::uint64_t size)
{
    if (size > kMaxLoadBytes && m_notify)
        m_notify("Anrufliste " + m_state->fileName +
                 " ist größer als 1 GiB; nur das letzte GiB wird geladen.");
}

void CallLog::LogLoad(LogRecordSink &sink)
{
    if (std::optional<UniqueFd> fd = openForLoad(m_state->fileName)) {
        struct stat st = {};
        if (::fstat(fd->get(), &st) != 0)
            raise(errno, m_state->fileName);
        const auto size = static_cast<std::uint64_t>(st.st_size);
        bool midRecord = false;
        if (size > kMaxLoadBytes) {
            checkLoadSize(size);
            const auto from = static_cast<off_t>(size - kMaxLoadBytes);
            char before = '\n';
            if (::pread(fd->get(), &before, 1, from - 1) != 1)
                raise(errno, m_state->fileName);
            // The first record is only loaded when it starts exactly there.
            midRecord = before != '\n' && before != '\r';
            if (::lseek(fd->get(), from, SEEK_SET) < 0)
                raise(errno, m_state->fileName);
        }
        FdSource source(fd->get(), m_state->fileName);
        readRecords(source, sink, 1 << 20, midRecord);
    }
}
