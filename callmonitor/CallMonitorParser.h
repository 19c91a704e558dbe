#pragma once

#include "callmonitor/MonitorRecord.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

/// Turns the call monitor's byte stream, in pieces of any size, into records. Lines end in
/// LF or CR LF; fields are separated by ';', the trailing ';' may be missing. A line that
/// does not parse, or is longer than the line limit (kMaxLine unless given), is skipped and
/// counted. Whatever arrives, the parser holds at most the limit's bytes.
class CallMonitorParser
{
public:
    using Sink = std::function<void(const MonitorRecord &)>;
    static constexpr std::size_t kMaxLine = 4096;
    static constexpr std::size_t kReportedChars = 80;

    explicit CallMonitorParser(std::size_t maxLine = kMaxLine) : m_maxLine(maxLine) {}

    /// Hands every record complete in the bytes so far to sink, in order.
    void feed(std::string_view bytes, const Sink &sink);
    /// Forgets a partial line and the bad lines: a new connection begins.
    void reset();

    /// Lines skipped since the last reset.
    std::size_t badLines() const { return m_badLines; }
    /// The first of them, cut to kReportedChars, every byte outside printable ASCII as '?'.
    const std::string &firstBadLine() const { return m_firstBad; }

    /// One line without its line end; nothing when it is not a line the program knows.
    static std::optional<MonitorRecord> parseLine(std::string_view line);

private:
    void endLine(const Sink &sink);
    void noteBad(std::string_view line);

    std::size_t m_maxLine;
    std::string m_line;
    bool m_discarding = false; // the line in progress grew beyond m_maxLine
    std::size_t m_badLines = 0;
    std::string m_firstBad;
};
