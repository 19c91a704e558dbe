#include "ListInput.h"

namespace {

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The byte at d is a comma or a line end; sets pos past it (CR LF counts as one).
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
    while (e < n && bytes[e] != '"' && !isLineEnd(bytes[e]))
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
        while (d < n && bytes[d] != ',' && !isLineEnd(bytes[d]))
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
    // non-ASCII bytes.
    const char *const data = bytes.data();
    std::size_t d = p;
    std::size_t tabs = 0;
    unsigned char high = 0;
    for (; d < n; ++d) {
        const char c = data[d];
        if (static_cast<unsigned char>(c) <= ',' && (c == ',' || c == '\n' || c == '\r'))
            break;
        tabs += c == '\t';
        high |= static_cast<unsigned char>(c);
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
    record.ascii = high < 0x80;
    pos = next;
    return ReadStatus::Record;
}
