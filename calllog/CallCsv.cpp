#include "calllog/CallCsv.h"

#include "calllog/CallLine.h"
#include "calllog/MissedCall.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// Whether text has the shape of pattern, where '9' stands for any digit.
bool hasShape(std::string_view text, std::string_view pattern)
{
    if (text.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (pattern[i] == '9' ? !isDigit(text[i]) : text[i] != pattern[i])
            return false;
    }
    return true;
}

/// strptime over the whole text, or false.
bool parseWhole(std::string_view text, const char *format, std::tm &tm)
{
    const std::string s(text);
    tm = {};
    const char *end = ::strptime(s.c_str(), format, &tm);
    return end && *end == '\0';
}

std::string isoFrom(const std::tm &tm)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return buf;
}

} // namespace

void CallCsv::appendField(std::string &out, std::string_view field)
{
    if (field.find_first_of(";\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

std::string CallCsv::isoDate(std::string_view date)
{
    if (date == m_lastDate)
        return m_lastIsoDate;
    std::string iso;
    std::tm tm{};
    if (hasShape(date, "99.99.9999")) {
        // The German short date, which every locale writing dots reads day first.
        iso = std::string(date.substr(6, 4)) + '-' + std::string(date.substr(3, 2)) + '-' +
              std::string(date.substr(0, 2));
    } else if (hasShape(date, "9999-99-99")) {
        iso = date;
    } else if (!date.empty() && parseWhole(date, "%x", tm)) {
        iso = isoFrom(tm);
    } else {
        iso = date; // no date this program can read: kept as written, never guessed
    }
    m_lastDate = date;
    m_lastIsoDate = iso;
    return iso;
}

std::string CallCsv::isoTime(std::string_view time)
{
    if (hasShape(time, "99:99:99"))
        return std::string(time);
    std::tm tm{};
    if (time.empty() || !parseWhole(time, "%X", tm))
        return std::string(time);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

void CallCsv::appendRow(std::string &out, std::string_view row, std::string_view name)
{
    appendField(out, CallLine::field(row, 0));
    out += ';';
    appendField(out, name);
    out += ';';
    appendField(out, CallLine::field(row, 1));
    out += ';';
    appendField(out, isoDate(CallLine::field(row, 2)));
    out += ';';
    appendField(out, isoTime(CallLine::field(row, 3)));
    out += ';';
    const std::string_view handling = CallLine::field(row, CallLine::kTabs);
    appendField(out, handling);
    out += ';';
    const bool hasHandling =
        static_cast<std::size_t>(std::count(row.begin(), row.end(), '\t')) >= CallLine::kTabs;
    if (hasHandling)
        out += isMissedCall(handling) ? "ja" : "nein";
    out += "\r\n";
}
