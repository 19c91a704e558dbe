#include "line/FieldText.h"

char safeDigit(std::uint8_t byte)
{
    // A '#' at a record's start would make the log record read back as a comment.
    if (byte < 0x20 || byte >= 0x7F || byte == ',' || byte == '"' || byte == '#')
        return '?';
    return static_cast<char>(byte);
}

std::string safeFieldText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        out += safeDigit(static_cast<std::uint8_t>(c));
    return out;
}
