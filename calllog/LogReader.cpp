#include "LogReader.h"

#include "CallViews.h"
#include "ListInput.h"
#include "LogText.h"

#include <cstring>
#include <memory>

std::optional<std::string_view> callRowText(const ListRecord &record, std::string &scratch)
{
    if (record.text.empty() || record.text.front() == '#')
        return std::nullopt;
    // TAB is the same byte in both encodings, so the count holds for the decoded text.
    const bool decode = !record.ascii && !isValidUtf8(record.text);
    if (record.tabs >= 4) {
        if (!decode)
            return record.text;
        scratch.clear();
        appendWindows1252AsUtf8(record.text, scratch);
        return std::string_view(scratch);
    }
    scratch.assign("leer\t");
    if (decode)
        appendWindows1252AsUtf8(record.text, scratch);
    else
        scratch += record.text;
    return std::string_view(scratch);
}

namespace {

class BulkInsert
{
public:
    explicit BulkInsert(CallViews &views) : m_views(views) { m_views.beginBulkInsert(); }
    ~BulkInsert() { m_views.endBulkInsert(); }
    BulkInsert(const BulkInsert &) = delete;
    BulkInsert &operator=(const BulkInsert &) = delete;

private:
    CallViews &m_views;
};

void addRecord(const ListRecord &record, CallViews &views, std::string &scratch)
{
    if (const auto text = callRowText(record, scratch)) {
        views.GridInsertTop(*text);
        views.ListAppendLine(*text);
    }
}

} // namespace

void fillViews(ByteSource &source, CallViews &views, std::size_t blockSize)
{
    BulkInsert bulk(views);
    std::size_t capacity = blockSize;
    // Not zeroed: a small log touches only the pages it fills.
    std::unique_ptr<char[]> buffer(new char[capacity]);
    std::size_t filled = 0;
    bool atEnd = false;
    bool first = true;
    std::string scratch;
    ListRecord record;
    while (!atEnd) {
        if (filled == capacity) {
            // One record longer than the buffer: make room for it.
            std::unique_ptr<char[]> bigger(new char[capacity * 2]);
            std::memcpy(bigger.get(), buffer.get(), filled);
            buffer = std::move(bigger);
            capacity *= 2;
        }
        const std::size_t got = source.readSome(buffer.get() + filled, capacity - filled);
        atEnd = got == 0;
        filled += got;
        std::string_view bytes(buffer.get(), filled);
        std::size_t pos = 0;
        if (first && (filled >= 3 || atEnd)) {
            // A byte order mark that a Windows editor put in front of the first line.
            first = false;
            if (bytes.starts_with("\xEF\xBB\xBF"))
                pos = 3;
        } else if (first) {
            continue;
        }
        for (;;) {
            const ReadStatus status = readRecord(bytes, pos, atEnd, record);
            if (status != ReadStatus::Record)
                break;
            addRecord(record, views, scratch);
        }
        // The unfinished record moves to the front; the next block follows it.
        std::memmove(buffer.get(), buffer.get() + pos, filled - pos);
        filled -= pos;
    }
}

void removeEmptyRow(CallViews &views)
{
    if (views.GridRowCount() >= 3)
        views.GridRemoveLast();
}
