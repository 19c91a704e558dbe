#pragma once

#include "calllog/LogRecordSink.h"

#include <string>
#include <vector>

/// Keeps what a log load hands out, and counts the begin/end brackets around it.
class RecordingSink final : public LogRecordSink
{
public:
    std::vector<std::string> records; // file order
    int begins = 0;
    int ends = 0;
    int recordsOutsideBracket = 0;

    void begin() override { ++begins; }
    void record(std::string_view text) override
    {
        recordsOutsideBracket += begins == ends;
        records.emplace_back(text);
    }
    void end() override { ++ends; }
};
