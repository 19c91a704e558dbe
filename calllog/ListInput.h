#pragma once

#include <cstddef>
#include <string_view>

/// One record of the log as comma-separated list input reads it.
struct ListRecord
{
    std::string_view text; ///< without the leading blanks and TABs, quotes or delimiter
    std::size_t tabs = 0;  ///< TAB characters in text
    bool ascii = true;     ///< text has no byte >= 0x80
};

enum class ReadStatus {
    Record,   ///< record holds the next record; pos is past its delimiter
    NeedMore, ///< the bytes end inside a record; pos is unchanged
    End,      ///< nothing but blanks is left; pos is at the end
};

/// Reads the record that starts at pos in bytes. Blanks and TABs at its start are passed
/// over; it then runs to the next comma, record end (CR LF, LF or CR) or the end of the
/// bytes, and the delimiter is consumed. A record that begins with a double quote runs
/// to the next double quote (commas included) and whatever follows it up to the next
/// delimiter is passed over; a record end before the closing quote ends it, so that one
/// stray quote cannot swallow the records after it. atEnd says that no bytes follow; without
/// it a record that reaches the end of the bytes is not complete yet.
ReadStatus readRecord(std::string_view bytes, std::size_t &pos, bool atEnd, ListRecord &record);
