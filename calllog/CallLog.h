#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class Clock;
class LogRecordSink;

/// The call log file: appended one record at a time, read back once at start. Completed
/// call records that cannot be written are kept and written later, in order.
///
/// Until startWriter() the appends are written and synced on the caller's thread before they
/// return. After it they are still written there, at once and in order (a write is quick),
/// and a writer thread does the fdatasync, so that a slow disk never holds up the caller and
/// a process that is ended without warning has every record in the file.
class CallLog
{
public:
    using Notifier = std::function<void(const std::string &message)>;

    /// Longest record that a load hands out; the rest of a longer one is passed over.
    static constexpr std::size_t kMaxRecordBytes = 4096;
    /// A larger file is loaded from its last this many bytes only.
    static constexpr std::uint64_t kMaxLoadBytes = std::uint64_t{1} << 30;

    explicit CallLog(std::string fileName = "caller.log");
    ~CallLog();
    CallLog(CallLog &&) noexcept = default;
    CallLog &operator=(CallLog &&) = delete;
    CallLog(const CallLog &) = delete;
    CallLog &operator=(const CallLog &) = delete;

    /// Appends the record and CR LF in one write on an O_APPEND descriptor, on the disk
    /// before it returns. Kept call records go first. Raises std::system_error on failure.
    /// With the writer running the sync is left to it; a failure loses the record (it is
    /// said like a failing call record) and never raises.
    void LogAppend(std::string_view record);
    /// Hands the file's call records to the sink in file order; a missing file (or one that
    /// is not a regular file) hands out none. Raises std::system_error when the file cannot
    /// be opened or read; the records handed out before stay handed out.
    void LogLoad(LogRecordSink &sink);

    /// Appends a completed call record without raising: when it cannot be written it is
    /// kept and written before the next record. The notifier hears of it once per run of
    /// failures. True when the record is in the file.
    bool appendCallRecord(std::string_view record);
    /// Writes the kept records (at shutdown, before the end marker). Raises
    /// std::system_error when one cannot be written; it and the rest stay kept.
    void flushKeptRecords();
    /// Call records not in the file yet (kept after a failure).
    std::size_t keptRecordCount() const;
    /// Who hears that the log cannot be written; stderr until one is set. It is always
    /// called on the thread that calls the log, never on the writer thread.
    void setNotifier(Notifier notifier) { m_notify = std::move(notifier); }
    const std::string &fileName() const;

    /// From now on the appends are written by a writer thread. At the end of the process
    /// (exit(), as Qt calls it when the X connection breaks) the log is finished with the
    /// end marker, the clock giving its time, unless finish() has run before.
    void startWriter(const Clock &clock);
    /// Called about once a second from the thread that uses the log: passes on what the
    /// writer has to say, and has the kept records tried again every retry interval.
    void timerTick();
    void setRetryInterval(std::chrono::milliseconds interval) { m_retryInterval = interval; }
    /// The last write of a run: the end marker (if any) goes after every record before it.
    /// Waits for the writer's sync at most wait; every record not in the file by then goes to
    /// stderr in full so the user can recover it, and those written but not synced are named
    /// as such. Never raises; later appends are ignored. Any thread; a second call waits for
    /// the first to be over (until its own deadline).
    void finish(std::optional<std::string> endMarker,
                std::chrono::milliseconds wait = std::chrono::seconds(5));
    /// finish() with a deadline shared with other shutdown steps.
    void finishBy(std::optional<std::string> endMarker,
                  std::chrono::steady_clock::time_point deadline);
    /// Waits until the writer has nothing left to sync (tests). False on time-out.
    bool waitIdle(std::chrono::milliseconds timeout) const;
    /// The log of a fatal error: kept and queued records are written as far as they can be
    /// (no end marker) before the process ends without its shutdown.
    static void finishBeforeFatalExit();
    /// The log of a process that ends without its orderly shutdown (the display is gone):
    /// finished with the end marker by deadline, unless finished before. Any thread.
    static void finishAtProcessEnd(std::chrono::steady_clock::time_point deadline);

    struct State;

private:
    void deliverNotices();
    void checkLoadSize(std::uint64_t size);

    std::shared_ptr<State> m_state;
    Notifier m_notify;
    std::chrono::milliseconds m_retryInterval = std::chrono::seconds(30);
};
