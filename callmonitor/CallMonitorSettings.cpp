#include "callmonitor/CallMonitorSettings.h"

namespace {

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace

CallMonitorSettings CallMonitorSettings::fromValues(std::string_view host, std::string_view port)
{
    CallMonitorSettings s;
    s.host = std::string(trimmed(host));
    port = trimmed(port);
    unsigned long value = 0;
    bool ok = !port.empty() && port.size() <= 5;
    for (const char c : port) {
        ok = ok && c >= '0' && c <= '9';
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (ok && value >= 1 && value <= 65535)
        s.port = static_cast<std::uint16_t>(value);
    return s;
}
