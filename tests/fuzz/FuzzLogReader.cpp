// The call log's reader: list-input records, the "leer" rule and the decoding of old
// Windows-1252 logs. Beyond not crashing: no row holds a line end, every row is UTF-8, and
// the rows do not depend on how the file arrives in blocks.
#include "calllog/ListInput.h"
#include "tests/fuzz/LogFuzzing.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using fuzzlog::ChunkSource;
using fuzzlog::CountingSink;

namespace {

void checkRecords(std::string_view bytes)
{
    std::size_t pos = 0;
    ListRecord record;
    std::string scratch;
    while (readRecord(bytes, pos, true, record) == ReadStatus::Record) {
        if (std::any_of(record.text.begin(), record.text.end(),
                        [](char c) { return c == '\r' || c == '\n'; }))
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
    return 0;
}
