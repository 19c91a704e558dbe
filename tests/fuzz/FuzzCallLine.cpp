// A call line as the program writes it reads back from the log as exactly its five fields:
// fields cut from the bytes at 0xFF, the log handed to the reader in pieces of the size the
// first byte gives.
#include "base/Utf8.h"
#include "calllog/CallLine.h"
#include "tests/fuzz/LogFuzzing.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using fuzzlog::ChunkSource;
using fuzzlog::CountingSink;

namespace {

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
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    checkCallLineRoundTrip(bytes, chunk);
    return 0;
}
