#pragma once

#include <optional>
#include <string>
#include <string_view>

/// The text side of the settings file: where the file lies and what its entries mean.
/// No file access here, so every rule can be tested on plain strings.
namespace ProfileText {

/// The longest value a read gives: a value fits a 256-byte buffer with its NUL, and no
/// MSN search text needs more.
inline constexpr std::size_t MaxValueLength = 255;

/// The file an IniDatei names: ".INI" appended when it has no "." anywhere; placed in
/// programDir (with exactly one "/" between) when it then has no "/" anywhere.
std::string resolveFileName(std::string IniDatei, const std::string &programDir);

/// Value of key in section within a file's bytes, or "" when there is none.
std::string findValue(std::string_view text, std::string_view section, std::string_view key);

/// The file's bytes without the entries of key in section, every other byte as it was;
/// nullopt when there is no such entry (so the caller need not rewrite the file).
std::optional<std::string> removeKey(std::string_view text, std::string_view section,
                                     std::string_view key);

} // namespace ProfileText
