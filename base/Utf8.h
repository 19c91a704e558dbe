#pragma once

#include <string>
#include <string_view>

/// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates, at most
/// U+10FFFF).
bool isValidUtf8(std::string_view bytes);

/// Appends the code point (below U+10000) to out as UTF-8.
void appendUtf8(char32_t cp, std::string &out);

/// Appends bytes, read as Windows-1252, to out as UTF-8. The five bytes that code page
/// leaves undefined become the C1 controls of the same value, so that no byte is lost.
/// bytes must not lie inside out.
void appendWindows1252AsUtf8(std::string_view bytes, std::string &out);
