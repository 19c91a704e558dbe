#include "CallLine.h"

#include <cstdio>

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
