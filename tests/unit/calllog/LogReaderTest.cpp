#include "calllog/LogReader.h"
#include "calllog/ListInput.h"
#include "tests/fakes/RecordingSink.h"
#include "tests/unit/calllog/LoadCases.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

/// Hands out a buffer in pieces of at most chunk bytes; raises once failAt bytes are out.
class StringSource final : public ByteSource
{
public:
    StringSource(std::string bytes, std::size_t chunk, std::size_t failAt = std::string::npos)
        : m_bytes(std::move(bytes)), m_chunk(chunk), m_failAt(failAt)
    {}
    std::size_t readSome(char *dst, std::size_t max) override
    {
        if (m_pos >= m_failAt)
            throw std::runtime_error("read failed");
        const std::size_t n = std::min({max, m_chunk, m_bytes.size() - m_pos, m_failAt - m_pos});
        m_bytes.copy(dst, n, m_pos);
        m_pos += n;
        return n;
    }

private:
    std::string m_bytes;
    std::size_t m_chunk;
    std::size_t m_failAt;
    std::size_t m_pos = 0;
};

class LogReaderCases : public ::testing::TestWithParam<LoadCase>
{
};

// Every case read in one block, in pieces of 1 to 7 bytes, and into a buffer of 4 bytes
// that has to grow: block borders must not change a record.
TEST_P(LogReaderCases, HandsOutRecordsInFileOrder)
{
    const LoadCase &c = GetParam();
    for (const std::size_t chunk :
         {std::size_t(1) << 30, std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(7)}) {
        for (const std::size_t block : {std::size_t(1) << 20, std::size_t(4)}) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + " block " + std::to_string(block));
            StringSource source(c.bytes, chunk);
            RecordingSink sink;
            readRecords(source, sink, block);
            expectLoaded(sink, c.items);
            EXPECT_EQ(sink.begins, 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(LogReader, LogReaderCases, ::testing::ValuesIn(loadCases()),
                         [](const auto &param) { return std::string(param.param.name); });

TEST(LogReader, HandsOutInsideOneBracketInFileOrder)
{
    StringSource source(kLineA + "\r\n" + kLineB + "\r\n", 5);
    RecordingSink sink;
    readRecords(source, sink);
    EXPECT_EQ(sink.begins, 1);
    EXPECT_EQ(sink.ends, 1);
    EXPECT_EQ(sink.recordsOutsideBracket, 0);
    const std::vector<std::string> expected = {kLineA, kLineB};
    EXPECT_EQ(sink.records, expected);
}

// A read that fails part-way keeps the records handed out before it, closes the bracket
// and raises; the half-read record is not handed out.
TEST(LogReader, ReadFailureKeepsRecordsSoFar)
{
    const std::string bytes = kLineA + "\r\n" + kLineB + "\r\n" + kLineC + "\r\n";
    StringSource source(bytes, 16, kLineA.size() + 2 + kLineB.size() + 2 + 5);
    RecordingSink sink;
    EXPECT_THROW(readRecords(source, sink), std::runtime_error);
    EXPECT_EQ(sink.ends, 1);
    expectLoaded(sink, {kLineA, kLineB});
}

TEST(LogReader, CallRowTextRule)
{
    std::string scratch;
    const auto text = [&](std::string_view bytes) {
        std::size_t pos = 0;
        ListRecord r;
        EXPECT_EQ(readRecord(bytes, pos, true, r), ReadStatus::Record);
        const auto t = callRowText(r, scratch);
        return t ? std::string(*t) : std::string("<passed over>");
    };
    EXPECT_EQ(text("#x"), "<passed over>");
    EXPECT_EQ(text("\"\""), "<passed over>");
    EXPECT_EQ(text("a\tb\tc\td"), "leer\ta\tb\tc\td");
    EXPECT_EQ(text("a\tb\tc\td\te"), "a\tb\tc\td\te");
    EXPECT_EQ(text("\xE4\tb\tc\td\te"), "\xC3\xA4\tb\tc\td\te");
    EXPECT_EQ(text("\xE4"), "leer\t\xC3\xA4");
}

} // namespace
