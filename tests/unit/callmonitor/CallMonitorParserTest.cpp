#include "callmonitor/CallMonitorParser.h"

#include "tests/support/CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string describe(const MonitorRecord &r)
{
    const std::string id = std::to_string(r.connection);
    switch (r.kind) {
    case MonitorRecord::Kind::Ring:
        return "RING " + id + " [" + r.caller + "] [" + r.called + "]";
    case MonitorRecord::Kind::Connect:
        return "CONNECT " + id + " [" + r.extension + "]";
    case MonitorRecord::Kind::Disconnect:
        return "DISCONNECT " + id;
    case MonitorRecord::Kind::Call:
        return "CALL " + id + " [" + r.extension + "]";
    }
    return "?";
}

std::vector<std::string> feedAll(CallMonitorParser &p, const std::vector<std::string> &pieces)
{
    std::vector<std::string> out;
    for (const auto &piece : pieces)
        p.feed(piece, [&](const MonitorRecord &r) { out.push_back(describe(r)); });
    return out;
}

struct LineCase
{
    const char *name;
    std::string line;     // without its line end
    const char *expected; // nullptr: skipped as bad
};

const std::vector<LineCase> kLines = {
    {"ring", "07.12.26 14:05:09;RING;0;0301234567;5551234;SIP0;", "RING 0 [0301234567] [5551234]"},
    {"connect", "07.12.26 14:05:12;CONNECT;0;10;0301234567;", "CONNECT 0 [10]"},
    {"disconnect", "07.12.26 14:05:40;DISCONNECT;0;28;", "DISCONNECT 0"},
    {"call", "07.12.26 14:06:00;CALL;1;11;5551234;01701234567;SIP1;", "CALL 1 [11]"},
    {"ring without trailing semicolon", "07.12.26 14:05:09;RING;3;0301;555;SIP0",
     "RING 3 [0301] [555]"},
    {"connect without trailing semicolon", "d;CONNECT;2;4;0301", "CONNECT 2 [4]"},
    {"disconnect without trailing semicolon", "d;DISCONNECT;2;0", "DISCONNECT 2"},
    {"withheld caller", "d;RING;0;;5551234;SIP0;", "RING 0 [] [5551234]"},
    {"empty called number", "d;RING;0;030;;ISDN;", "RING 0 [030] []"},
    {"ring without its line field", "d;RING;0;030;555;", "RING 0 [030] [555]"},
    {"disconnect without duration", "d;DISCONNECT;7;", "DISCONNECT 7"},
    {"empty date field", ";RING;1;030;555;POTS;", "RING 1 [030] [555]"},
    {"extra fields are not read", "d;RING;0;030;555;SIP0;x;y;;", "RING 0 [030] [555]"},
    {"largest id", "d;DISCONNECT;999999999;", "DISCONNECT 999999999"},
    {"non-UTF-8 caller passes as bytes", "d;RING;0;\xff\xfe\x80;555;",
     "RING 0 [\xff\xfe\x80] [555]"},
    {"connect with its extension only", "d;CONNECT;0;12", "CONNECT 0 [12]"},
    {"ring with caller only", "d;RING;0;030;", nullptr},
    {"ring too few fields", "d;RING;0", nullptr},
    {"connect without extension", "d;CONNECT;0;;030;", nullptr},
    {"connect too few fields", "d;CONNECT;0;", nullptr},
    {"disconnect without id", "d;DISCONNECT;", nullptr},
    {"empty id", "d;DISCONNECT;;5;", nullptr},
    {"id not a number", "d;RING;x;030;555;", nullptr},
    {"negative id", "d;RING;-1;030;555;", nullptr},
    {"id too long", "d;DISCONNECT;1234567890;", nullptr},
    {"unknown kind", "d;HOLD;0;", nullptr},
    {"kind in lower case", "d;ring;0;030;555;", nullptr},
    {"kind with a blank", "d; RING;0;030;555;", nullptr},
    {"no separators", "hello world", nullptr},
    {"only separators", ";;;;;;", nullptr},
    {"CR inside a line", "d;RING;0;03\r0;555;", "RING 0 [03\r0] [555]"},
};

class ParserLines : public ::testing::TestWithParam<LineCase>
{
};

// The line parses alike with LF, with CR LF, and split across reads at every byte.
TEST_P(ParserLines, GivesTheRecordForEveryEndingAndEverySplit)
{
    const LineCase &c = GetParam();
    const std::vector<std::string> expected =
        c.expected ? std::vector<std::string>{c.expected} : std::vector<std::string>{};
    for (const std::string end : {"\n", "\r\n"}) {
        const std::string bytes = c.line + end;
        {
            CallMonitorParser p;
            EXPECT_EQ(feedAll(p, {bytes}), expected) << end.size();
            EXPECT_EQ(p.badLines(), c.expected ? 0u : 1u);
        }
        for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
            CallMonitorParser p;
            EXPECT_EQ(feedAll(p, {bytes.substr(0, cut), bytes.substr(cut)}), expected)
                << "cut at " << cut;
        }
        // One byte a read.
        CallMonitorParser p;
        std::vector<std::string> bytewise;
        for (const char b : bytes)
            bytewise.emplace_back(1, b);
        EXPECT_EQ(feedAll(p, bytewise), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, ParserLines, ::testing::ValuesIn(kLines),
                         NameBy<&LineCase::name>{});

TEST(CallMonitorParser, NulByteStaysInItsField)
{
    const auto r = CallMonitorParser::parseLine(std::string("d;RING;0;0\0"
                                                            "3;555;",
                                                            17));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->caller, std::string("0\0"
                                     "3",
                                     3));
    EXPECT_EQ(r->called, "555");
}

TEST(CallMonitorParser, ManyLinesInOneReadComeInOrder)
{
    CallMonitorParser p;
    EXPECT_EQ(feedAll(p, {"a;RING;0;030;5;SIP0;\nb;RING;1;;6;SIP1;\r\nc;CONNECT;1;10;\n"
                          "d;DISCONNECT;0;0;\nd;DISCONNECT;1;9"}),
              (std::vector<std::string>{"RING 0 [030] [5]", "RING 1 [] [6]", "CONNECT 1 [10]",
                                        "DISCONNECT 0"}));
    // The last line waits for its LF.
    EXPECT_EQ(feedAll(p, {"\n"}), std::vector<std::string>{"DISCONNECT 1"});
}

TEST(CallMonitorParser, BlankLinesAreNeitherRecordsNorBad)
{
    CallMonitorParser p;
    EXPECT_TRUE(feedAll(p, {"\n\r\n\n"}).empty());
    EXPECT_EQ(p.badLines(), 0u);
}

TEST(CallMonitorParser, FirstBadLineIsKeptCutTo80PrintableCharacters)
{
    CallMonitorParser p;
    const std::string first = "\x1b[31m" + std::string(100, 'x') + "\xc3\xa4";
    const auto records = feedAll(p, {first + "\nsecond bad\nd;DISCONNECT;1;\n"});
    EXPECT_EQ(records, std::vector<std::string>{"DISCONNECT 1"});
    EXPECT_EQ(p.badLines(), 2u);
    EXPECT_EQ(p.firstBadLine(), "?[31m" + std::string(75, 'x'));
    p.reset();
    EXPECT_EQ(p.badLines(), 0u);
    EXPECT_EQ(p.firstBadLine(), "");
}

// Lines up to the limit (4096 bytes unless given, not counting CR LF) are read; longer ones
// are dropped up to their LF, however the bytes are split, and the next line is read again.
TEST(CallMonitorParser, LinesLongerThanTheLimitAreDiscardedUpToTheirLf)
{
    const std::string head = "d;RING;0;030;555;";
    for (const std::size_t limit : {CallMonitorParser::kMaxLine, std::size_t{24}}) {
        const std::string fits = head + std::string(limit - head.size(), 'x');
        const std::string tooLong = fits + "x";
        const std::string next = "d;DISCONNECT;0;\n";
        for (const std::string end : {"\n", "\r\n"}) {
            for (const std::size_t piece :
                 {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{100000}}) {
                CallMonitorParser p(limit);
                std::vector<std::string> pieces;
                const std::string all =
                    fits + end + tooLong + end + std::string(20000, 'y') + end + next;
                for (std::size_t i = 0; i < all.size(); i += piece)
                    pieces.push_back(all.substr(i, piece));
                EXPECT_EQ(feedAll(p, pieces),
                          (std::vector<std::string>{"RING 0 [030] [555]", "DISCONNECT 0"}))
                    << limit << " " << piece;
                EXPECT_EQ(p.badLines(), 2u);
                EXPECT_EQ(p.firstBadLine(), tooLong.substr(0, 80));
            }
        }
    }
}

TEST(CallMonitorParser, ResetDropsAPartialLine)
{
    CallMonitorParser p;
    EXPECT_TRUE(feedAll(p, {"d;RING;0;030;5"}).empty());
    p.reset();
    EXPECT_EQ(feedAll(p, {"55;\nd;DISCONNECT;4;\n"}), std::vector<std::string>{"DISCONNECT 4"});
    EXPECT_EQ(p.badLines(), 1u); // "55;"
}

} // namespace
