#include "callmonitor/CallMonitorParser.h"

#include <array>

namespace {

// The fields the program reads; the ones after them are not looked at.
constexpr std::size_t kFieldsRead = 5;

struct Fields
{
    std::array<std::string_view, kFieldsRead> at;
    std::size_t count = 0;
};

Fields splitFields(std::string_view line)
{
    Fields fields;
    std::size_t start = 0;
    while (fields.count < kFieldsRead) {
        const auto semi = line.find(';', start);
        if (semi == std::string_view::npos) {
            // The rest after the last ';' is a field unless the line ended with the ';'.
            if (start < line.size() || fields.count == 0)
                fields.at[fields.count++] = line.substr(start);
            break;
        }
        fields.at[fields.count++] = line.substr(start, semi - start);
        start = semi + 1;
    }
    return fields;
}

std::optional<std::uint32_t> connectionId(std::string_view text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    std::uint32_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return v;
}

} // namespace

std::optional<MonitorRecord> CallMonitorParser::parseLine(std::string_view line)
{
    const Fields fields = splitFields(line);
    const auto &f = fields.at;
    // Field 0 is the router's date and time: the program uses its own clock.
    if (fields.count < 3)
        return std::nullopt;
    const auto id = connectionId(f[2]);
    if (!id)
        return std::nullopt;
    MonitorRecord r;
    r.connection = *id;
    // Fields after the ones read (the line, the duration, newer firmware's additions) are
    // not looked at.
    if (f[1] == "RING" && fields.count >= 5) {
        r.kind = MonitorRecord::Kind::Ring;
        r.caller = f[3];
        r.called = f[4];
    } else if (f[1] == "CONNECT" && fields.count >= 4 && !f[3].empty()) {
        r.kind = MonitorRecord::Kind::Connect;
        r.extension = f[3];
    } else if (f[1] == "DISCONNECT") {
        r.kind = MonitorRecord::Kind::Disconnect;
    } else if (f[1] == "CALL" && fields.count >= 4) {
        r.kind = MonitorRecord::Kind::Call;
        r.extension = f[3];
    } else {
        return std::nullopt;
    }
    return r;
}

void CallMonitorParser::feed(std::string_view bytes, const Sink &sink)
{
    while (!bytes.empty()) {
        const auto lf = bytes.find('\n');
        const auto piece = bytes.substr(0, lf);
        if (!m_discarding) {
            if (m_line.size() + piece.size() > m_maxLine + 1) {
                // Too long even allowing for a CR before the LF: dropped up to its LF. The
                // report leaves out a CR that may be the line's end, whether or not its LF
                // came in the same read.
                std::string_view shown = piece;
                if (shown.ends_with('\r'))
                    shown.remove_suffix(1);
                m_line.append(shown.substr(0, kReportedChars));
                noteBad(m_line);
                m_line.clear();
                m_discarding = true;
            } else {
                m_line.append(piece);
            }
        }
        if (lf == std::string_view::npos)
            return;
        if (m_discarding) {
            m_discarding = false;
            m_line.clear();
        } else {
            endLine(sink);
        }
        bytes.remove_prefix(lf + 1);
    }
}

void CallMonitorParser::endLine(const Sink &sink)
{
    std::string_view line = m_line;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.size() > m_maxLine) {
        noteBad(line);
    } else if (!line.empty()) {
        // Blank lines (a keep-alive, an extra CR LF) are not worth a word.
        if (auto r = parseLine(line))
            sink(*r);
        else
            noteBad(line);
    }
    m_line.clear();
}

void CallMonitorParser::noteBad(std::string_view line)
{
    if (m_badLines++ > 0)
        return;
    m_firstBad.clear();
    for (const char c : line.substr(0, kReportedChars)) {
        const auto b = static_cast<unsigned char>(c);
        m_firstBad += (b < 0x20 || b >= 0x7F) ? '?' : c;
    }
}

void CallMonitorParser::reset()
{
    m_line.clear();
    m_discarding = false;
    m_badLines = 0;
    m_firstBad.clear();
}
