#pragma once

#include "tests/fakes/RecordingSink.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

/// A log's bytes and the records that loading it hands out (file order). In the views the
/// grid shows the same rows newest first, or only its empty row when nothing was added.
struct LoadCase
{
    const char *name;
    std::string bytes;
    std::vector<std::string> items;
};

inline void PrintTo(const LoadCase &c, std::ostream *os)
{
    *os << c.name;
}

inline const std::string kLineA = "0301234\t345\t30.12.2000\t14:05:09\tAnrufer hat aufgelegt";
inline const std::string kLineB = "0897\t346\t31.12.2000\t08:00:00\tAngenommen am S0-Bus";
inline const std::string kLineC = "017012\t345\t01.01.2001\t00:00:01\t34";

inline std::vector<LoadCase> loadCases()
{
    const std::string crlf = "\r\n";
    const std::string start = "#  12-30-2000 - 14:05:09   Start\r\n";
    const std::string end = "#  12-30-2000 - 18:00:00   Ende\r\n";
    const std::string longField(40000, 'x');
    return {
        {"ZeroBytes", "", {}},
        {"OnlyMarkers", start + end + start, {}},
        {"OneLine", start + kLineA + crlf, {kLineA}},
        {"ThreeLinesInOrder",
         kLineA + crlf + start + kLineB + crlf + kLineC + crlf,
         {kLineA, kLineB, kLineC}},
        {"LastLineWithoutLineEnd", kLineA + crlf + kLineB, {kLineA, kLineB}},
        {"FiveTabsUnchanged", "a\tb\tc\td\te\tf\r\n", {"a\tb\tc\td\te\tf"}},
        {"EmptyCallerGetsLeer",
         "\t345\t30.12.2000\t14:05:09\tAnrufer hat aufgelegt\r\n",
         {"leer\t345\t30.12.2000\t14:05:09\tAnrufer hat aufgelegt"}},
        {"ThreeTabsGetLeer",
         "0301\t345\t30.12.2000\t14:05:09\r\n",
         {"leer\t0301\t345\t30.12.2000\t14:05:09"}},
        {"NoTabGetsLeer", "hello\r\n", {"leer\thello"}},
        {"HashFurtherOnHasNoEffect", "a#b\t1\t2\t3\t4\r\n", {"a#b\t1\t2\t3\t4"}},
        {"HashAfterBlanksPassedOver",
         "  \t#  01-01-2001 - 00:00:00   Start\r\n" + kLineA + crlf,
         {kLineA}},
        {"CommaMakesTwoRecords", "one,two\r\n", {"leer\tone", "leer\ttwo"}},
        {"QuotedRecord", "\"a,b\tc\td\te\tf\"\r\n", {"a,b\tc\td\te\tf"}},
        {"Windows1252Line",
         "M\xFCller\t345\t30.12.2000\t14:05:09\tAnrufer hat aufgelegt\r\n",
         {"M\xC3\xBCller\t345\t30.12.2000\t14:05:09\tAnrufer hat aufgelegt"}},
        {"Utf8LineKept",
         "M\xC3\xBCller\t345\t30.12.2000\t14:05:09\tx\r\n",
         {"M\xC3\xBCller\t345\t30.12.2000\t14:05:09\tx"}},
        {"BlankLinesPassedOver",
         kLineA + "\r\n\r\n  \t \r\n" + kLineB + "\r\n,\r\n",
         {kLineA, kLineB}},
        {"ByteOrderMarkPassedOver", "\xEF\xBB\xBF" + start + kLineA + crlf, {kLineA}},
        {"UnixLineEnds", kLineA + "\n" + kLineB + "\n", {kLineA, kLineB}},
        // A record longer than 4 KiB is cut there and the rest of its line passed over,
        // commas and all; the next line is read as usual.
        {"VeryLongRecordIsCut",
         longField + "\t1\t2\t3\t4\r\n" + kLineA + crlf,
         {"leer\t" + std::string(4096, 'x'), kLineA}},
        {"LongRecordBeforeACommaTakesItsLineAlong",
         std::string(5000, 'y') + ",a\tb\tc\td\te\n" + kLineB + crlf,
         {"leer\t" + std::string(4096, 'y'), kLineB}},
        {"CutFallsInsideAnUtf8Character",
         std::string(4095, 'z') + "\xc3\xbc" + std::string(100, 'z') + crlf + kLineA + crlf,
         {"leer\t" + std::string(4095, 'z'), kLineA}},
        {"LongQuotedRecordIsCut",
         "\"" + std::string(6000, 'q') + "\"\r\n" + kLineA + crlf,
         {"leer\t" + std::string(4096, 'q'), kLineA}},
        {"RecordOfExactlyTheLimitIsWhole",
         std::string(4088, 'w') + "\t1\t2\t3\t4" + crlf,
         {std::string(4088, 'w') + "\t1\t2\t3\t4"}},
    };
}

/// The load handed out exactly the items, in file order.
inline void expectLoaded(const RecordingSink &sink, const std::vector<std::string> &items)
{
    ASSERT_EQ(sink.records.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(sink.records[i], items[i]) << "record " << i;
    EXPECT_EQ(sink.begins, sink.ends);
    EXPECT_EQ(sink.recordsOutsideBracket, 0);
}
