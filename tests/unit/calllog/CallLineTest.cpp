#include "calllog/CallLine.h"

#include "tests/fakes/FakeClock.h"

#include <clocale>

#include <gtest/gtest.h>

namespace {

TEST(CallLine, MarkerLinesHaveTheirFixedForms)
{
    EXPECT_EQ(markerRecord(tmAt(2000, 12, 30, 14, 5, 9), MarkerKind::Start),
              "#  12-30-2000 - 14:05:09   Start");
    EXPECT_EQ(markerRecord(tmAt(2001, 1, 2, 0, 0, 0), MarkerKind::End),
              "#  01-02-2001 - 00:00:00   Ende");
    EXPECT_EQ(markerRecord(tmAt(2024, 7, 9, 23, 59, 59), MarkerKind::Start),
              "#  07-09-2024 - 23:59:59   Start");
}

CallLine open(std::string caller, std::string msn, std::string date, std::string time)
{
    return {std::move(caller), std::move(msn), std::move(date), std::move(time), std::nullopt};
}

CallLine done(std::string caller, std::string msn, std::string date, std::string time,
              std::string handling)
{
    return {std::move(caller), std::move(msn), std::move(date), std::move(time),
            std::move(handling)};
}

struct TextCase
{
    const char *name;
    CallLine line;
    std::string text;
};

// Rows with all their fields: the text is the fields with one TAB each, and reads back as
// the same call.
TEST(CallLine, TextAndBackAgain)
{
    const TextCase cases[] = {
        {"open call", open("0301", "345", "30.12.2000", "14:05:09"),
         "0301\t345\t30.12.2000\t14:05:09"},
        {"completed", done("0301", "345", "30.12.2000", "14:05:09", "Anrufer hat aufgelegt"),
         "0301\t345\t30.12.2000\t14:05:09\tAnrufer hat aufgelegt"},
        {"empty fields", done("", "345", "", "x", "Anrufer hat aufgelegt"),
         "\t345\t\tx\tAnrufer hat aufgelegt"},
        {"umlaut", done("M\xC3\xBCller", "345", "30.12.2000", "14:05:09", "34"),
         "M\xC3\xBCller\t345\t30.12.2000\t14:05:09\t34"},
    };
    for (const TextCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.line.text(), c.text);
        // A row read back from the log passes the "leer" rule only with four TABs.
        if (c.line.handling) {
            EXPECT_EQ(CallLine::fromText(c.text), c.line);
        }
    }
}

TEST(CallLine, KeepsTabsAndLineEndsOutOfFields)
{
    EXPECT_EQ(done("a\tb", "c\r\nd", "", "", "e\tf").text(), "a b\tc  d\t\t\te f");
    EXPECT_EQ(open("a\tb", "c\r\nd", "", "").text(), "a b\tc  d\t\t");
}

// Fewer than four TABs: "leer" and a TAB go in front, and every field moves one column on.
TEST(CallLine, LeerRuleOnReadingBack)
{
    const TextCase cases[] = {
        {"four fields", done("leer", "0301", "345", "30.12.2000", "14:05:09"),
         "0301\t345\t30.12.2000\t14:05:09"},
        {"no TAB", open("leer", "hello", "", ""), "hello"},
        {"empty", open("leer", "", "", ""), ""},
        {"more than five fields keep theirs in the handling", done("a", "b", "c", "d", "e\tf"),
         "a\tb\tc\td\te\tf"},
        {"empty caller", done("", "345", "30.12.2000", "14:05:09", "x"),
         "\t345\t30.12.2000\t14:05:09\tx"},
    };
    for (const TextCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CallLine::fromText(c.text), c.line);
    }
    for (std::size_t tabs = 0; tabs < 4; ++tabs)
        EXPECT_TRUE(CallLine::needsLeer(tabs)) << tabs;
    EXPECT_FALSE(CallLine::needsLeer(4));
    EXPECT_FALSE(CallLine::needsLeer(5));
}

// The handling column: what a completed call adds to its open row, nothing else changed.
TEST(CallLine, HandlingColumn)
{
    const CallLine call = open("0301", "345", "30.12.2000", "14:05:09");
    const struct
    {
        std::string_view handling;
        std::string text;
    } cases[] = {
        {"Anrufer hat aufgelegt", "0301\t345\t30.12.2000\t14:05:09\tAnrufer hat aufgelegt"},
        {"Verbindung verloren", "0301\t345\t30.12.2000\t14:05:09\tVerbindung verloren"},
        {"", "0301\t345\t30.12.2000\t14:05:09\t"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.handling));
        const CallLine completed = call.completed(c.handling);
        EXPECT_EQ(completed.text(), c.text);
        EXPECT_EQ(completed.text(), call.text() + '\t' + std::string(c.handling));
        EXPECT_FALSE(call.handling);
    }
}

std::tm at20001230()
{
    return FakeClock(2000, 12, 30, 14, 5, 9).localNow();
}

TEST(CallLine, FourFieldsInTheUsersLocale)
{
    const char *old = std::setlocale(LC_TIME, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_TIME, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 not generated";
    EXPECT_EQ(CallLine::arrived("0301", "345", at20001230()).text(),
              "0301\t345\t30.12.2000\t14:05:09");
    EXPECT_EQ(CallLine::arrived("", "345", at20001230()).text(), "\t345\t30.12.2000\t14:05:09");
    EXPECT_EQ(CallLine::arrived("", "345", at20001230()).time, "14:05:09");
    std::setlocale(LC_TIME, saved.c_str());
}

} // namespace
