// The call log's reader: list-input records, the "leer" rule and the decoding of old
// Windows-1252 logs. Beyond not crashing: no row holds a line end, every row is UTF-8,
// the rows do not depend on how the file arrives in blocks, and a call line as the
// program writes it reads back as exactly its five fields.
#include "base/Utf8.h"
#include "calllog/CallLine.h"
#include "calllog/ListInput.h"
#include "calllog/LogReader.h"
#include "calllog/LogRecordSink.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Hands the bytes out in pieces of at most chunk bytes.
class ChunkSource final : public ByteSource
{
public:
    ChunkSource(std::string_view bytes, std::size_t chunk) : m_bytes(bytes), m_chunk(chunk) {}
    std::size_t readSome(char *dst, std::size_t max) override
    {
        const std::size_t n = std::min({max, m_chunk, m_bytes.size() - m_pos});
        std::memcpy(dst, m_bytes.data() + m_pos, n);
        m_pos += n;
        return n;
    }

private:
    std::string_view m_bytes;
    std::size_t m_chunk;
    std::size_t m_pos = 0;
};

// Counts and hashes what the load hands out, and keeps the records only when asked to.
class CountingSink final : public LogRecordSink
{
public:
    explicit CountingSink(bool keep = false) : m_keep(keep) {}

    void begin() override
    {
        if (m_open)
            std::abort();
        m_open = true;
    }
    void record(std::string_view line) override
    {
        if (!m_open || line.find_first_of("\r\n") != std::string_view::npos || !isValidUtf8(line))
            std::abort();
        for (const char c : line)
            m_hash = (m_hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
        m_hash = (m_hash ^ 0x100u) * 1099511628211u; // the record boundary counts too
        if (m_keep)
            rows.emplace_back(line);
        ++m_count;
    }
    void end() override { m_open = false; }

    int count() const { return m_count; }
    std::uint64_t hash() const { return m_hash; }
    std::vector<std::string> rows;

private:
    bool m_keep;
    bool m_open = false;
    int m_count = 0;
    std::uint64_t m_hash = 14695981039346656037u;
};

void checkRecords(std::string_view bytes)
{
    std::size_t pos = 0;
    ListRecord record;
    std::string scratch;
    while (readRecord(bytes, pos, true, record) == ReadStatus::Record) {
        if (record.text.find_first_of("\r\n") != std::string_view::npos)
            std::abort();
        if (const auto row = callRowText(record, scratch)) {
            if (record.tabs < 4 && !row->starts_with("leer\t"))
                std::abort();
        }
    }
    if (pos != bytes.size())
        std::abort();
}

// The same rows whether the file comes at once or in small pieces and small blocks.
void checkBlocking(std::string_view bytes, std::size_t chunk, std::size_t block)
{
    ChunkSource whole(bytes, bytes.size() + 1);
    CountingSink a;
    readRecords(whole, a, bytes.size() + 1);
    ChunkSource pieces(bytes, chunk);
    CountingSink b;
    readRecords(pieces, b, block);
    if (a.count() != b.count() || a.hash() != b.hash())
        std::abort();
}

std::string safeField(std::string_view raw)
{
    std::string f(raw);
    for (char &c : f) {
        if (c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '"')
            c = ' ';
    }
    return f;
}

std::vector<std::string> splitTabs(std::string_view s)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t t = s.find('\t', start);
        out.emplace_back(s.substr(start, t == std::string_view::npos ? s.npos : t - start));
        if (t == std::string_view::npos)
            return out;
        start = t + 1;
    }
}

// Five fields cut from the bytes at 0xFF, made safe as the program's own fields are.
void checkCallLineRoundTrip(std::string_view bytes, std::size_t chunk)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int i = 0; i < 5; ++i) {
        const std::size_t cut = i < 4 ? bytes.find('\xFF', start) : std::string_view::npos;
        const std::size_t end = cut == std::string_view::npos ? bytes.size() : cut;
        fields.push_back(
            safeField(bytes.substr(std::min(start, bytes.size()), end - std::min(start, end))));
        start = cut == std::string_view::npos ? bytes.size() : cut + 1;
    }
    // The reader passes over blanks and TABs in front of a record and reads a record that
    // starts with "#" as a marker; an empty caller comes back as "leer" by design.
    if (fields[0].empty() || fields[0][0] == ' ' || fields[0][0] == '#')
        fields[0].insert(0, "0301");
    const std::string line = CallLine{fields[0], fields[1], fields[2], fields[3], fields[4]}.text();

    std::string expected;
    if (isValidUtf8(line))
        expected = line;
    else
        appendWindows1252AsUtf8(line, expected);

    const std::string log = "#  12-07-2026 - 10:00:00   Start\r\n" + line + "\r\n" + line + "\r\n";
    ChunkSource source(log, chunk);
    CountingSink sink(true);
    readRecords(source, sink, 8);
    if (sink.rows.size() != 2 || sink.rows[0] != expected || sink.rows[1] != expected)
        std::abort();
    // Read back as a CallLine and written again, the row stays as it is.
    if (CallLine::fromText(sink.rows[0]).text() != sink.rows[0])
        std::abort();
    const std::vector<std::string> back = splitTabs(sink.rows[0]);
    if (back.size() != 5)
        std::abort();
    for (std::size_t i = 0; i < 5; ++i) {
        std::string want;
        if (isValidUtf8(line))
            want = fields[i];
        else
            appendWindows1252AsUtf8(fields[i], want);
        if (back[i] != want)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 17;
    const std::size_t block = 1 + data[0] / 17;
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    checkRecords(bytes);
    checkBlocking(bytes, chunk, block);
    checkCallLineRoundTrip(bytes, chunk);
    return 0;
}
