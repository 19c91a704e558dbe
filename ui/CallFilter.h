#pragma once

#include <string>
#include <string_view>

/// What the search field and "Nur verpasste" keep of the call list: a call stays when its
/// caller's number or name, its called number (MSN) or its date contains the search text.
/// Letters match without regard to case; a text of digits also matches a number written
/// with blanks, dashes or a "+49" in front, and the other way round.
class CallFilter
{
public:
    CallFilter() = default;
    /// needle is the search text, case-folded (UTF-8) by the caller.
    CallFilter(std::string_view needle, bool missedOnly);

    /// Keeps everything.
    bool isEmpty() const { return m_needle.empty() && !m_missedOnly; }
    bool hasText() const { return !m_needle.empty(); }
    bool missedOnly() const { return m_missedOnly; }

    /// The caller as written, its CallNumber::digits and its case-folded name.
    bool matchesCaller(std::string_view caller, std::string_view callerDigits,
                       std::string_view foldedName) const;
    /// The called number or the date.
    bool matchesField(std::string_view field) const;
    /// A whole row (CallLine format) whose caller has this case-folded name.
    bool matches(std::string_view row, std::string_view foldedName) const;

private:
    std::string m_needle;
    std::string m_digits; // the needle's CallNumber::digits, when it is a number
    bool m_missedOnly = false;
};
