#pragma once

#include "tools/capisim/Protocol.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace capisim {

/// One transcript line: "HH:MM:SS.mmm NAME key=value ... | hex bytes".
struct TranscriptEntry
{
    std::string time;
    std::string name;
    std::map<std::string, std::string> fields;
    Bytes bytes;
};

/// The line after its time.
std::string formatTranscriptEntry(const Decoded &decoded, const Bytes &bytes);
std::string formatTranscriptLine(const std::string &time, const Decoded &decoded,
                                 const Bytes &bytes);
std::optional<TranscriptEntry> parseTranscriptLine(std::string_view line);

/// A condition of wait-for: the name and fields a transcript entry must have. Values
/// compare as numbers when both sides are numbers (0x101 == 257), else as text.
struct Condition
{
    std::string name;
    std::vector<std::pair<std::string, std::string>> fields;
};
bool matches(const TranscriptEntry &entry, const Condition &condition);

} // namespace capisim
