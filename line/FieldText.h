#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// A byte from a line as a character of a CallLine field: printable ASCII except the comma
/// and the double quote (which would split a log record) and '#' (which would make it a
/// comment) passes, all else is "?".
char safeDigit(std::uint8_t byte);

/// Every byte of text through safeDigit.
std::string safeFieldText(std::string_view text);
