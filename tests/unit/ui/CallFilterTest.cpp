// Which calls the search keeps, how numbers compare, and which link calls a caller back.
#include "ui/CallFilter.h"
#include "ui/CallNumber.h"

#include <gtest/gtest.h>

namespace {

TEST(CallNumber, DigitsAndCallBackLinks)
{
    struct Case
    {
        const char *caller;
        const char *digits;
        const char *uri;
    };
    const Case cases[] = {
        {"0301234567", "0301234567", "tel:+49301234567"},
        {"030 123-45/67", "0301234567", "tel:+49301234567"},
        {"+49 30 1234567", "0301234567", "tel:+49301234567"},
        {"0049301234567", "0301234567", "tel:+49301234567"},
        {"0043 1 234", "00431234", "tel:+431234"},
        {"5551234", "5551234", "tel:5551234"},
        {"Unbekannt", "", ""},
        {"HideCode  5", "", ""},
        {"**610", "", ""},
        {"0", "0", ""},
        {"", "", ""},
        {"03+0", "", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CallNumber::digits(c.caller), c.digits) << c.caller;
        EXPECT_EQ(CallNumber::callBackUri(c.caller), c.uri) << c.caller;
    }
}

TEST(CallFilter, KeepsRowsByNumberNameMsnOrDate)
{
    const std::string answered = "+49 30 1234567\t5551234\t08.12.2026\t10:15:09\tAnruf umgeleitet";
    const std::string missed = "Unbekannt\t4711\t09.12.2026\t11:00:00\tAnrufer hat aufgelegt";
    const std::string open = "0301234567\t4711\t10.12.2026\t12:00:00";
    struct Case
    {
        const char *needle; // case-folded already, as the window hands it over
        bool missedOnly;
        bool keepsAnswered, keepsMissed, keepsOpen;
    };
    const Case cases[] = {
        {"", false, true, true, true},
        {"", true, false, true, false},
        {"030 123", false, true, false, true}, // digits across blanks and +49
        {"+4930", false, true, false, true},
        {"müller", false, true, false, false}, // the answered caller's name
        {"unbekannt", false, false, true, false},
        {"4711", false, false, true, true}, // MSN
        {"4711", true, false, true, false},
        {"09.12.", false, false, true, false},      // date
        {"0", false, true, true, true},             // "0" only as text, not as a number
        {"umgeleitet", false, false, false, false}, // the handling is not searched
        {"10:15", false, false, false, false},      // nor the time
    };
    for (const Case &c : cases) {
        const CallFilter filter(c.needle, c.missedOnly);
        EXPECT_EQ(filter.matches(answered, "jürgen müller"), c.keepsAnswered) << c.needle;
        EXPECT_EQ(filter.matches(missed, ""), c.keepsMissed) << c.needle;
        EXPECT_EQ(filter.matches(open, ""), c.keepsOpen) << c.needle;
    }
}

} // namespace
