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
