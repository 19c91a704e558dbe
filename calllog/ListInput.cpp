#include "calllog/ListInput.h"

#include <bit>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isRecordEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The byte at d is a comma or a record end; sets pos past it (CR LF counts as one).
bool consumeDelimiter(std::string_view bytes, std::size_t d, bool atEnd, std::size_t &pos)
{
    if (bytes[d] == '\r') {
        if (d + 1 == bytes.size() && !atEnd)
            return false; // an LF may follow in the next block
        pos = (d + 1 < bytes.size() && bytes[d + 1] == '\n') ? d + 2 : d + 1;
    } else {
        pos = d + 1;
    }
    return true;
}

// A record has few TABs; this beats a library popcount where the processor has none.
std::size_t countBits(unsigned mask)
{
    std::size_t n = 0;
    for (; mask; mask &= mask - 1)
        ++n;
    return n;
}

void describe(std::string_view text, ListRecord &record)
{
    record.text = text;
    record.tabs = 0;
    unsigned char high = 0;
    for (const char c : text) {
        record.tabs += c == '\t';
        high |= static_cast<unsigned char>(c);
    }
    record.ascii = high < 0x80;
}

ReadStatus readQuoted(std::string_view bytes, std::size_t start, bool atEnd, std::size_t &pos,
                      ListRecord &record)
{
    const std::size_t n = bytes.size();
    std::size_t e = start;
    while (e < n && bytes[e] != '"' && !isRecordEnd(bytes[e]))
        ++e;
    if (e == n) {
        if (!atEnd)
            return ReadStatus::NeedMore;
        describe(bytes.substr(start), record);
        pos = n;
        return ReadStatus::Record;
    }
    std::size_t d = e;
    if (bytes[e] == '"') {
        d = e + 1;
        while (d < n && bytes[d] != ',' && !isRecordEnd(bytes[d]))
            ++d;
    }
    std::size_t next = n;
    if (d < n && !consumeDelimiter(bytes, d, atEnd, next))
        return ReadStatus::NeedMore;
    if (d == n && !atEnd)
        return ReadStatus::NeedMore;
    describe(bytes.substr(start, e - start), record);
    pos = next;
    return ReadStatus::Record;
}

} // namespace

ReadStatus readRecord(std::string_view bytes, std::size_t &pos, bool atEnd, ListRecord &record)
{
    const std::size_t n = bytes.size();
    std::size_t p = pos;
    while (p < n && (bytes[p] == ' ' || bytes[p] == '\t'))
        ++p;
    if (p == n) {
        if (!atEnd)
            return ReadStatus::NeedMore;
        pos = n;
        return ReadStatus::End;
    }
    if (bytes[p] == '"')
        return readQuoted(bytes, p + 1, atEnd, pos, record);

    // The hot path of a load: one pass finds the delimiter, counts TABs and looks for
    // non-ASCII bytes, 16 bytes at a time where the processor allows.
    const char *const data = bytes.data();
    std::size_t d = p;
    std::size_t tabs = 0;
    unsigned high = 0;
    bool found = false;
#if defined(__SSE2__)
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i tab = _mm_set1_epi8('\t');
    for (; d + 16 <= n; d += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + d));
        const __m128i delimiters = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, cr)), _mm_cmpeq_epi8(v, lf));
        auto dm = static_cast<unsigned>(_mm_movemask_epi8(delimiters));
        auto tm = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, tab)));
        auto hm = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (dm) {
            const int at = std::countr_zero(dm);
            const unsigned before = (1u << at) - 1;
            tabs += countBits(tm & before);
            high |= hm & before;
            d += static_cast<std::size_t>(at);
            found = true;
            break;
        }
        tabs += countBits(tm);
        high |= hm;
    }
#endif
    for (; !found && d < n; ++d) {
        const char c = data[d];
        if (c == ',' || c == '\n' || c == '\r')
            break;
        tabs += c == '\t';
        high |= static_cast<unsigned char>(c) & 0x80u;
    }
    std::size_t next = n;
    if (d == n) {
        if (!atEnd)
            return ReadStatus::NeedMore;
    } else if (!consumeDelimiter(bytes, d, atEnd, next)) {
        return ReadStatus::NeedMore;
    }
    record.text = bytes.substr(p, d - p);
    record.tabs = tabs;
    record.ascii = high == 0;
    pos = next;
    return ReadStatus::Record;
}
