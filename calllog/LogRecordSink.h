#pragma once

#include <string_view>

/// Where a log load hands its call records, in file order, as UTF-8 rows that already
/// follow the "leer" rule. A record's text lives only until record() returns.
class LogRecordSink
{
public:
    virtual ~LogRecordSink() = default;
    /// Before the first record of a load.
    virtual void begin() {}
    virtual void record(std::string_view text) = 0;
    /// After the last record, also when the load raises part-way.
    virtual void end() {}
};
