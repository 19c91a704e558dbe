#include "calllog/CallLine.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

std::string formatted(const char *format, const std::tm &when)
{
    std::array<char, 64> text{};
    std::strftime(text.data(), text.size(), format, &when);
    return text.data();
}

void appendField(std::string &row, std::string_view field)
{
    const std::size_t from = row.size();
    row.append(field);
    std::replace_if(
        row.begin() + static_cast<std::ptrdiff_t>(from), row.end(),
        [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
}

/// The text up to the next TAB, which is passed over; the whole rest when there is none.
std::string nextField(std::string_view &rest)
{
    const std::size_t tab = rest.find('\t');
    std::string field(rest.substr(0, tab));
    rest.remove_prefix(tab == std::string_view::npos ? rest.size() : tab + 1);
    return field;
}

} // namespace

std::string markerRecord(const std::tm &time, MarkerKind kind)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "#  %02d-%02d-%04d - %02d:%02d:%02d%s", time.tm_mon + 1,
                  time.tm_mday, time.tm_year + 1900, time.tm_hour, time.tm_min, time.tm_sec,
                  kind == MarkerKind::Start ? "   Start" : "   Ende");
    return buf;
}

CallLine CallLine::arrived(std::string_view caller, std::string_view msn, const std::tm &when)
{
    return {std::string(caller), std::string(msn), formatted("%x", when), formatted("%X", when),
            std::nullopt};
}

CallLine CallLine::fromText(std::string_view row)
{
    std::string withLeer;
    auto tabs = static_cast<std::size_t>(std::count(row.begin(), row.end(), '\t'));
    if (needsLeer(tabs)) {
        withLeer.append(kLeer).append(1, '\t').append(row);
        row = withLeer;
        ++tabs;
    }
    CallLine call;
    call.caller = nextField(row);
    call.msn = nextField(row);
    call.date = nextField(row);
    call.time = nextField(row);
    if (tabs >= kTabs)
        call.handling = std::string(row);
    return call;
}

std::string CallLine::text() const
{
    std::string row;
    row.reserve(caller.size() + msn.size() + date.size() + time.size() +
                (handling ? handling->size() + 1 : 0) + 3);
    appendField(row, caller);
    row += '\t';
    appendField(row, msn);
    row += '\t';
    appendField(row, date);
    row += '\t';
    appendField(row, time);
    if (handling) {
        row += '\t';
        appendField(row, *handling);
    }
    return row;
}

CallLine CallLine::completed(std::string_view how) const
{
    CallLine done = *this;
    done.handling = std::string(how);
    return done;
}

std::string_view CallLine::field(std::string_view row, std::size_t index)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) {
        const std::size_t tab = row.find('\t', start);
        if (tab == std::string_view::npos)
            return {};
        start = tab + 1;
    }
    const std::size_t end = row.find('\t', start);
    return row.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string CallLine::withHandling(std::string_view row, std::string_view how)
{
    std::string updated;
    for (std::size_t index = 0; index < kTabs; ++index) {
        updated += field(row, index);
        updated += '\t';
    }
    updated += how;
    return updated;
}
