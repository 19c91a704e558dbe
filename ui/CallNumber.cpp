#include "ui/CallNumber.h"

namespace {

/// The digits with a leading "+" kept, or nothing when text is not a number.
std::string plain(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            out += c;
        else if (c == '+' && out.empty())
            out += c;
        else if (c != ' ' && c != '-' && c != '/' && c != '(' && c != ')')
            return {};
    }
    return out == "+" ? std::string() : out;
}

} // namespace

namespace CallNumber {

std::string digits(std::string_view text)
{
    std::string d = plain(text);
    if (d.starts_with("+49"))
        return "0" + d.substr(3);
    if (d.starts_with("0049"))
        return "0" + d.substr(4);
    if (d.starts_with("+"))
        return "00" + d.substr(1);
    return d;
}

std::string callBackUri(std::string_view caller)
{
    const std::string d = plain(caller);
    std::string international;
    if (d.starts_with("+"))
        international = d.substr(1);
    else if (d.starts_with("00"))
        international = d.substr(2);
    else if (d.starts_with("0"))
        international = "49" + d.substr(1);
    else
        return d.size() < 2 ? std::string() : "tel:" + d;
    // A country code and at least a digit or two of a number; "0" or "00" alone is none.
    return international.size() < 4 ? std::string() : "tel:+" + international;
}

} // namespace CallNumber
