#pragma once

#include <string>
#include <string_view>

/// Calls as CSV for spreadsheets: UTF-8, ";" between fields (what German spreadsheets
/// expect), RFC 4180 quoting, CR LF after each row, dates and times in ISO 8601.
class CallCsv
{
public:
    static constexpr std::string_view kHeader =
        "Anrufer;Name;Rufnummer (MSN);Datum;Zeit;Behandlung;Verpasst\r\n";

    /// Appends the field, in double quotes with its quotes doubled when it holds ";", a
    /// double quote, CR or LF.
    static void appendField(std::string &out, std::string_view field);
    /// Appends the row of one call: row is the call's text (CallLine format), name what
    /// the phonebook says of its caller. "Verpasst" is "ja" or "nein", empty while the call
    /// has no handling yet.
    void appendRow(std::string &out, std::string_view row, std::string_view name);

    /// The date as the log holds it (the user's locale, %x) as yyyy-mm-dd; as written when
    /// it is no date of that locale nor dd.mm.yyyy nor ISO already.
    std::string isoDate(std::string_view date);
    /// The time (the user's locale, %X) as hh:mm:ss; as written when it is none.
    static std::string isoTime(std::string_view time);

private:
    // Dates repeat from row to row: the last one is kept.
    std::string m_lastDate;
    std::string m_lastIsoDate;
};
