#include "tools/capisim/Transcript.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

std::string formatTranscriptLine(const std::string &time, const Decoded &decoded,
                                 const Bytes &bytes)
{
    std::string line = time + ' ' + decoded.name;
    for (const auto &[key, value] : decoded.fields)
        line += ' ' + key + '=' + value;
    line += " |";
    if (!bytes.empty())
        line += ' ' + toHex(bytes);
    return line;
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

std::string timeOfDay()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms));
    return buf;
}

} // namespace capisim
