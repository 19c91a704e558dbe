#include "calllog/CallLine.h"

#include <array>
#include <cstdio>

namespace {

std::string formatted(const char *format, const std::tm &when)
{
    std::array<char, 64> text{};
    std::strftime(text.data(), text.size(), format, &when);
    return text.data();
}

} // namespace

std::string buildCallLine(std::string_view caller, std::string_view msn, const std::tm &when)
{
    std::string line;
    line.append(caller).append(1, '\t').append(msn).append(1, '\t');
    return line + formatted("%x", when) + '\t' + formatted("%X", when);
}

std::string callTimeText(const std::tm &when)
{
    return formatted("%X", when);
}

std::string markerLine(const std::tm &time, MarkerKind kind)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "#  %02d-%02d-%04d - %02d:%02d:%02d%s", time.tm_mon + 1,
                  time.tm_mday, time.tm_year + 1900, time.tm_hour, time.tm_min, time.tm_sec,
                  kind == MarkerKind::Start ? "   Start" : "   Ende");
    return buf;
}

std::string joinCallLine(std::initializer_list<std::string_view> fields)
{
    std::string line;
    bool firstField = true;
    for (const std::string_view field : fields) {
        if (!firstField)
            line += '\t';
        firstField = false;
        for (const char c : field)
            line += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
    }
    return line;
}
