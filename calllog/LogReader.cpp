#include "calllog/LogReader.h"

#include "base/Utf8.h"
#include "calllog/CallLine.h"
#include "calllog/ListInput.h"
#include "calllog/LogRecordSink.h"

#include <algorithm>
#include <cstring>
#include <memory>

std::optional<std::string_view> callRowText(const ListRecord &record, std::string &scratch)
{
    if (record.text.empty() || record.text.front() == '#')
        return std::nullopt;
    // TAB is the same byte in both encodings, so the count holds for the decoded text.
    const bool decode = !record.ascii && !isValidUtf8(record.text);
    if (!CallLine::needsLeer(record.tabs)) {
        if (!decode)
            return record.text;
        scratch.clear();
        appendWindows1252AsUtf8(record.text, scratch);
        return std::string_view(scratch);
    }
    scratch.assign(CallLine::kLeer).append(1, '\t');
    if (decode)
        appendWindows1252AsUtf8(record.text, scratch);
    else
        scratch += record.text;
    return std::string_view(scratch);
}

namespace {

/// begin() and end() around the load, end() also when it raises.
class SinkBracket
{
public:
    explicit SinkBracket(LogRecordSink &sink) : m_sink(sink) { m_sink.begin(); }
    ~SinkBracket() { m_sink.end(); }
    SinkBracket(const SinkBracket &) = delete;
    SinkBracket &operator=(const SinkBracket &) = delete;

private:
    LogRecordSink &m_sink;
};

void addRecord(const ListRecord &record, LogRecordSink &sink, std::string &scratch)
{
    if (const auto text = callRowText(record, scratch))
        sink.record(*text);
}

} // namespace

std::string_view withoutCutCharacter(std::string_view text)
{
    // Step back over continuation bytes to the lead byte of the last sequence.
    std::size_t lead = text.size();
    for (int back = 0; back < 4 && lead > 0; ++back) {
        const auto c = static_cast<unsigned char>(text[--lead]);
        if ((c & 0xC0) != 0x80) {
            const std::size_t need = c < 0x80    ? 1
                                     : c >= 0xF0 ? 4
                                     : c >= 0xE0 ? 3
                                     : c >= 0xC0 ? 2
                                                 : 1;
            return lead + need > text.size() ? text.substr(0, lead) : text;
        }
    }
    return text;
}

namespace {

/// Where the first CR or LF in bytes stands, or npos.
std::size_t findRecordEnd(std::string_view bytes, std::size_t from)
{
    const std::size_t lf = bytes.find('\n', from);
    const std::size_t cr =
        bytes.substr(0, lf == std::string_view::npos ? bytes.size() : lf).find('\r', from);
    return cr != std::string_view::npos ? cr : lf;
}

ListRecord &cutRecord(ListRecord &record, std::size_t maxRecord)
{
    if (record.text.size() > maxRecord) {
        record.text = record.text.substr(0, maxRecord);
        if (!record.ascii)
            record.text = withoutCutCharacter(record.text);
        record.tabs =
            static_cast<std::size_t>(std::count(record.text.begin(), record.text.end(), '\t'));
    }
    return record;
}

} // namespace

void readRecords(ByteSource &source, LogRecordSink &sink, std::size_t blockSize, bool midRecord,
                 std::size_t maxRecord)
{
    SinkBracket bracket(sink);
    std::size_t capacity = std::max(blockSize, 2 * maxRecord);
    // Not zeroed: a small log touches only the pages it fills.
    std::unique_ptr<char[]> buffer(new char[capacity]);
    std::size_t filled = 0;
    bool atEnd = false;
    bool first = !midRecord;
    // Passing over the rest of a record up to its end; the record end itself stays and ends
    // an empty record, which the load passes over.
    bool skipping = midRecord;
    std::string scratch;
    ListRecord record;
    // The buffer holds only the start of an unfinished record: new bytes without a
    // delimiter or quote cannot finish it, so it is not parsed again from its start (a
    // source that hands out small pieces would otherwise cost time quadratic in its length).
    bool unfinished = false;
    while (!atEnd) {
        if (filled == capacity) {
            // Only a block smaller than two records can fill up with one record.
            std::unique_ptr<char[]> bigger(new char[capacity * 2]);
            std::memcpy(bigger.get(), buffer.get(), filled);
            buffer = std::move(bigger);
            capacity *= 2;
        }
        const std::size_t before = filled;
        const std::size_t got = source.readSome(buffer.get() + filled, capacity - filled);
        atEnd = got == 0;
        filled += got;
        std::string_view bytes(buffer.get(), filled);
        if (unfinished && !atEnd && filled <= maxRecord &&
            std::none_of(bytes.begin() + static_cast<std::ptrdiff_t>(before), bytes.end(),
                         [](char c) { return c == ',' || c == '\r' || c == '\n' || c == '"'; }))
            continue;
        unfinished = false;
        std::size_t pos = 0;
        if (skipping) {
            pos = findRecordEnd(bytes, 0);
            if (pos == std::string_view::npos) {
                filled = 0;
                continue;
            }
            skipping = false;
        }
        if (first && (filled >= 3 || atEnd)) {
            // A byte order mark that an editor put in front of the first record.
            first = false;
            if (bytes.starts_with("\xEF\xBB\xBF"))
                pos = 3;
        } else if (first) {
            continue;
        }
        for (;;) {
            const ReadStatus status = readRecord(bytes, pos, atEnd, record);
            if (status == ReadStatus::Record && record.text.size() <= maxRecord) {
                addRecord(record, sink, scratch);
                continue;
            }
            if (status == ReadStatus::Record) {
                // Whole in the buffer but longer than any the program writes: cut, and
                // the rest of its record goes with it.
                addRecord(cutRecord(record, maxRecord), sink, scratch);
                if (pos == 0 || bytes[pos - 1] != ',')
                    continue;
                const std::size_t end = findRecordEnd(bytes, pos);
                if (end == std::string_view::npos) {
                    skipping = true;
                    pos = filled;
                    break;
                }
                pos = end;
                continue;
            }
            if (status == ReadStatus::End || filled - pos <= maxRecord) {
                unfinished = status == ReadStatus::NeedMore;
                break;
            }
            // An unfinished record longer than any the program writes: its first bytes
            // stand for it and the rest of its record is passed over.
            std::size_t start = pos;
            while (start < filled && (bytes[start] == ' ' || bytes[start] == '\t'))
                ++start;
            if (filled - start <= maxRecord) {
                pos = start; // only blanks made it long
                break;
            }
            std::size_t inRest = 0;
            if (readRecord(bytes.substr(start), inRest, true, record) == ReadStatus::Record) {
                addRecord(cutRecord(record, maxRecord), sink, scratch);
            }
            pos = findRecordEnd(bytes, start);
            if (pos == std::string_view::npos) {
                skipping = true;
                pos = filled;
                break;
            }
        }
        // The unfinished record moves to the front; the next block follows it.
        std::memmove(buffer.get(), buffer.get() + pos, filled - pos);
        filled -= pos;
    }
}
