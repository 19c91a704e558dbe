#include "calllog/ListInput.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

// All records of bytes read in one piece.
std::vector<std::string> records(std::string_view bytes)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    ListRecord r;
    while (readRecord(bytes, pos, true, r) == ReadStatus::Record)
        out.emplace_back(r.text);
    EXPECT_EQ(pos, bytes.size());
    return out;
}

using Records = std::vector<std::string>;

struct Case
{
    const char *name;
    std::string bytes;
    Records expected;
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class ListInputCases : public ::testing::TestWithParam<Case>
{
};

TEST_P(ListInputCases, SplitsRecords)
{
    EXPECT_EQ(records(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ListInput, ListInputCases,
    ::testing::Values(Case{"CrLfLines", "a\tb\r\nc\r\n", {"a\tb", "c"}},
                      Case{"LastLineWithoutEnd", "a\r\nb", {"a", "b"}},
                      Case{"LfAndCrAlone", "a\nb\rc", {"a", "b", "c"}},
                      Case{"LeadingBlanksAndTabsPassedOver", " \t x\ty\r\n", {"x\ty"}},
                      Case{"TabsAfterFirstCharacterKept", "x\t\t\r\n", {"x\t\t"}},
                      Case{"TrailingBlanksKept", "x  \r\n", {"x  "}},
                      Case{"CommaEndsRecord", "a,b\r\n", {"a", "b"}},
                      Case{"BlankLineIsEmptyRecord", "a\r\n\r\nb\r\n", {"a", "", "b"}},
                      Case{"QuotedRunsOverCommas", "\"a,b\"\r\nc\r\n", {"a,b", "c"}},
                      Case{"AfterClosingQuoteSkippedToDelimiter", "\"a\"xy,b\r\n", {"a", "b"}},
                      Case{"UnclosedQuoteEndsAtLineEnd", "\"a\tb\r\nc\r\n", {"a\tb", "c"}},
                      Case{"UnclosedQuoteAtFileEnd", "\"abc", {"abc"}},
                      Case{"QuoteInsideRecordIsOrdinary", "a\"b,c\r\n", {"a\"b", "c"}},
                      Case{"OnlyBlanks", "  \t ", {}}, Case{"Empty", "", {}}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(ListInput, CountsTabsAndSeesNonAscii)
{
    std::size_t pos = 0;
    ListRecord r;
    ASSERT_EQ(readRecord("\tM\xC3\xBCller\t1\t2\t3\r\n", pos, true, r), ReadStatus::Record);
    EXPECT_EQ(r.tabs, 3u); // the leading TAB is passed over
    EXPECT_FALSE(r.ascii);
    pos = 0;
    ASSERT_EQ(readRecord("\"a\tb\"", pos, true, r), ReadStatus::Record);
    EXPECT_EQ(r.tabs, 1u);
    EXPECT_TRUE(r.ascii);
}

// Without atEnd a record is not complete until its delimiter has been seen; a CR at the
// end of the bytes waits for a possible LF.
TEST(ListInput, AsksForMoreBytesInsideARecord)
{
    ListRecord r;
    for (const std::string_view partial : {"abc", "abc\r", "  ", "\"ab", "\"ab\"x", "\"ab\r"}) {
        std::size_t pos = 0;
        EXPECT_EQ(readRecord(partial, pos, false, r), ReadStatus::NeedMore) << partial;
        EXPECT_EQ(pos, 0u) << partial;
    }
    std::size_t pos = 0;
    ASSERT_EQ(readRecord("abc\r\nd", pos, false, r), ReadStatus::Record);
    EXPECT_EQ(r.text, "abc");
    EXPECT_EQ(pos, 5u);
}

// Random texts without quotes, read by readRecord and by the rules written out plainly:
// the wide scan must find the same delimiters, TABs and non-ASCII bytes at any position.
TEST(ListInput, MatchesPlainRulesOnRandomText)
{
    const char alphabet[] = {'a', '7', '\t', ' ', ',', '\r', '\n', '\xE4'};
    std::mt19937 rng(1);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes(rng() % 90, 'a');
        for (char &c : bytes)
            c = rng() % 4 ? 'a' : alphabet[rng() % sizeof alphabet];

        std::vector<ListRecord> expected;
        std::size_t i = 0;
        while (true) {
            while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t'))
                ++i;
            if (i == bytes.size())
                break;
            const std::size_t e = bytes.find_first_of(",\r\n", i);
            ListRecord r;
            r.text = std::string_view(bytes).substr(i, e == std::string::npos ? e : e - i);
            r.tabs = static_cast<std::size_t>(std::count(r.text.begin(), r.text.end(), '\t'));
            r.ascii = r.text.find('\xE4') == std::string_view::npos;
            expected.push_back(r);
            if (e == std::string::npos)
                break;
            i = e + (bytes.compare(e, 2, "\r\n") == 0 ? 2 : 1);
        }

        std::size_t pos = 0;
        ListRecord r;
        std::size_t k = 0;
        while (readRecord(bytes, pos, true, r) == ReadStatus::Record) {
            ASSERT_LT(k, expected.size());
            EXPECT_EQ(r.text, expected[k].text);
            EXPECT_EQ(r.tabs, expected[k].tabs);
            EXPECT_EQ(r.ascii, expected[k].ascii);
            ++k;
        }
        EXPECT_EQ(k, expected.size());
    }
}

} // namespace
