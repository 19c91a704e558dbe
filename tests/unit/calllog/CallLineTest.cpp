#include "calllog/CallLine.h"

#include "tests/fakes/FakeClock.h"

#include <clocale>

#include <gtest/gtest.h>

namespace {

std::tm at(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(CallLine, MarkerLinesHaveTheirFixedForms)
{
    EXPECT_EQ(markerLine(at(2000, 12, 30, 14, 5, 9), MarkerKind::Start),
              "#  12-30-2000 - 14:05:09   Start");
    EXPECT_EQ(markerLine(at(2001, 1, 2, 0, 0, 0), MarkerKind::End),
              "#  01-02-2001 - 00:00:00   Ende");
    EXPECT_EQ(markerLine(at(2024, 7, 9, 23, 59, 59), MarkerKind::Start),
              "#  07-09-2024 - 23:59:59   Start");
}

TEST(CallLine, JoinsFieldsWithOneTabEach)
{
    EXPECT_EQ(joinCallLine({"0301", "345", "30.12.2000", "14:05:09"}),
              "0301\t345\t30.12.2000\t14:05:09");
    EXPECT_EQ(joinCallLine({"", "345", "", "x", "Anrufer hat aufgelegt"}),
              "\t345\t\tx\tAnrufer hat aufgelegt");
}

TEST(CallLine, KeepsTabsAndLineEndsOutOfFields)
{
    EXPECT_EQ(joinCallLine({"a\tb", "c\r\nd"}), "a b\tc  d");
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
    EXPECT_EQ(buildCallLine("0301", "345", at20001230()), "0301\t345\t30.12.2000\t14:05:09");
    EXPECT_EQ(buildCallLine("", "345", at20001230()), "\t345\t30.12.2000\t14:05:09");
    std::setlocale(LC_TIME, saved.c_str());
}

} // namespace
