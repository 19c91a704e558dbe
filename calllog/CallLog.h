#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

class CallViews;

/// The call log file: appended one line at a time, read back once at start. Completed
/// call lines that cannot be written are kept and written later, in order.
class CallLog
{
public:
    using Notifier = std::function<void(const std::string &message)>;

    explicit CallLog(std::string fileName = "caller.log");

    /// Appends the line and CR LF in one write on an O_APPEND descriptor, on the disk
    /// before it returns. Kept call lines go first. Raises std::system_error on failure.
    void LogAppend(std::string_view line);
    /// Fills the grid and the list from the file; a missing file (or one that is not a
    /// regular file) adds nothing. Raises std::system_error when the file cannot be
    /// opened or read; the rows added before stay.
    void LogLoad(CallViews &views);

    /// Appends a completed call line without raising: when it cannot be written it is
    /// kept and written before the next line. The notifier hears of it once per run of
    /// failures. True when the line is in the file.
    bool appendCallLine(std::string_view line);
    /// Writes the kept lines (at shutdown, before the end marker). Raises
    /// std::system_error when one cannot be written; it and the rest stay kept.
    void flushKeptLines();
    std::size_t keptLineCount() const { return m_kept.size(); }
    /// Who hears that the log cannot be written; stderr until one is set.
    void setNotifier(Notifier notifier) { m_notify = std::move(notifier); }
    const std::string &fileName() const { return m_fileName; }

private:
    struct WriteResult
    {
        int writeError = 0; // the line is not in the file
        int syncError = 0;  // the line is in the file but may not be on the disk
    };
    WriteResult writeLine(std::string_view line) const;
    /// Writes kept lines from the front until one fails.
    WriteResult writeKeptLines();
    /// Tells the notifier of the first failure after a success.
    void report(const WriteResult &result);

    std::string m_fileName;
    std::deque<std::string> m_kept;
    Notifier m_notify;
    bool m_failing = false;
};
