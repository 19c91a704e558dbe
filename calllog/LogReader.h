#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class LogRecordSink;
struct ListRecord;

/// Where the log's bytes come from: the file, or a buffer in tests.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    /// Reads up to max bytes into dst; 0 at the end. Raises when reading fails.
    virtual std::size_t readSome(char *dst, std::size_t max) = 0;
};

/// The text that a record puts into the grid and the list, as UTF-8, or nothing when
/// the record is passed over (it is blank, or its first character is "#"). A record gets
/// "leer" and a TAB in front as CallLine::needsLeer says. The result may point into
/// record.text or into scratch.
std::optional<std::string_view> callRowText(const ListRecord &record, std::string &scratch);

/// Reads the source to its end in large blocks and hands every call record to the sink in
/// file order, between one begin() and one end(). A record longer than
/// maxRecord bytes is cut there and the rest of its record passed over, so that no edited
/// or damaged file can make the load hold more than a block and one record. midRecord says
/// that the source starts inside a record, which is then passed over. A failure of the
/// source raises after end(); the records handed out before it stay handed out.
void readRecords(ByteSource &source, LogRecordSink &sink, std::size_t blockSize = 1 << 20,
                 bool midRecord = false, std::size_t maxRecord = 4096);

/// The text without an incomplete UTF-8 sequence at its end (where a cut fell).
std::string_view withoutCutCharacter(std::string_view text);
