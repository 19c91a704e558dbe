#include "ui/CallFilter.h"

#include "calllog/CallLine.h"
#include "calllog/MissedCall.h"
#include "ui/CallNumber.h"

#include <algorithm>

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Whether hay contains needle (lower case already), ASCII letters of hay in any case.
bool containsFolded(std::string_view hay, std::string_view needle)
{
    if (needle.empty())
        return true;
    if (needle.size() > hay.size())
        return false;
    const std::size_t last = hay.size() - needle.size();
    for (std::size_t i = 0; i <= last; ++i) {
        if (lowerAscii(hay[i]) != needle[0])
            continue;
        std::size_t k = 1;
        while (k < needle.size() && lowerAscii(hay[i + k]) == needle[k])
            ++k;
        if (k == needle.size())
            return true;
    }
    return false;
}

} // namespace

CallFilter::CallFilter(std::string_view needle, bool missedOnly)
    : m_needle(needle), m_missedOnly(missedOnly)
{
    // A lone "0" or "+" would match nearly every number once written as digits.
    std::string digits = CallNumber::digits(needle);
    if (digits.size() >= 2 || (digits.size() == 1 && digits != "0"))
        m_digits = std::move(digits);
}

bool CallFilter::matchesCaller(std::string_view caller, std::string_view callerDigits,
                               std::string_view foldedName) const
{
    return containsFolded(caller, m_needle) ||
           (!m_digits.empty() && callerDigits.find(m_digits) != std::string_view::npos) ||
           foldedName.find(m_needle) != std::string_view::npos;
}

bool CallFilter::matchesField(std::string_view field) const
{
    if (containsFolded(field, m_needle))
        return true;
    if (m_digits.empty())
        return false;
    // Most fields are plain digits (an MSN) or no number at all (a date): no copy for them.
    std::size_t plainDigits = 0;
    while (plainDigits < field.size() && field[plainDigits] >= '0' && field[plainDigits] <= '9')
        ++plainDigits;
    if (plainDigits == field.size() && !field.starts_with("0049"))
        return field.find(m_digits) != std::string_view::npos;
    const char next = field[plainDigits];
    if (next != ' ' && next != '-' && next != '/' && next != '(' && next != ')' && next != '+')
        return false;
    return CallNumber::digits(field).find(m_digits) != std::string::npos;
}

bool CallFilter::matches(std::string_view row, std::string_view foldedName) const
{
    if (m_missedOnly && !isMissedCall(CallLine::field(row, CallLine::kTabs)))
        return false;
    if (m_needle.empty())
        return true;
    const std::string_view caller = CallLine::field(row, 0);
    return matchesCaller(caller, CallNumber::digits(caller), foldedName) ||
           matchesField(CallLine::field(row, 1)) || matchesField(CallLine::field(row, 2));
}
