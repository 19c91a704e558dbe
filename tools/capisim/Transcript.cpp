#include "tools/capisim/Transcript.h"

#include <cstdlib>
#include <sstream>

namespace capisim {

namespace {

std::optional<unsigned long> number(const std::string &s)
{
    if (s.empty())
        return std::nullopt;
    char *end = nullptr;
    const unsigned long v = std::strtoul(s.c_str(), &end, 0);
    if (*end != '\0')
        return std::nullopt;
    return v;
}

} // namespace

std::string formatTranscriptEntry(const Decoded &decoded, const Bytes &bytes)
{
    std::string entry = decoded.name;
    for (const auto &[key, value] : decoded.fields)
        entry += ' ' + key + '=' + value;
    entry += " |";
    if (!bytes.empty())
        entry += ' ' + toHex(bytes);
    return entry;
}

std::string formatTranscriptLine(const std::string &time, const Decoded &decoded,
                                 const Bytes &bytes)
{
    return time + ' ' + formatTranscriptEntry(decoded, bytes);
}

std::optional<TranscriptEntry> parseTranscriptLine(std::string_view line)
{
    const auto bar = line.find(" |");
    if (bar == std::string_view::npos)
        return std::nullopt;
    std::istringstream head{std::string(line.substr(0, bar))};
    TranscriptEntry e;
    if (!(head >> e.time >> e.name))
        return std::nullopt;
    std::string token;
    while (head >> token) {
        const auto eq = token.find('=');
        if (eq == std::string::npos)
            return std::nullopt;
        e.fields[token.substr(0, eq)] = token.substr(eq + 1);
    }
    try {
        e.bytes = fromHex(std::string(line.substr(bar + 2)));
    } catch (const std::invalid_argument &) {
        return std::nullopt;
    }
    return e;
}

bool matches(const TranscriptEntry &entry, const Condition &condition)
{
    if (entry.name != condition.name)
        return false;
    for (const auto &[key, want] : condition.fields) {
        const auto it = entry.fields.find(key);
        if (it == entry.fields.end())
            return false;
        const auto a = number(it->second);
        const auto b = number(want);
        if (a && b ? *a != *b : it->second != want)
            return false;
    }
    return true;
}

} // namespace capisim
