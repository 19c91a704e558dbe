#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

/// One value to write: key in section.
struct Assignment
{
    std::string section;
    std::string key;
    std::string value;
};

/// Whether a write may name this section, key and value: no line breaks or NULs anywhere,
/// no "]" in the section, a key that is not empty, holds no "=" and is not read as a
/// comment or section. Anything else would change other entries of the file.
bool isWritable(const Assignment &a);

/// The file's bytes with each assignment made, in order, as the Windows profile functions
/// make it: the first entry of the key (the one a read finds) gets the new value in place;
/// a missing key goes after the last entry of the section's first occurrence (comments and
/// blank lines after it stay in front of the next section); a missing section goes to the
/// end of the file. Every other byte stays, and new lines take the file's line ending.
/// nullopt when every key already reads as its new value, so that nothing is rewritten.
/// Assignments that are not writable are passed over.
std::optional<std::string> setValues(std::string_view text, const std::vector<Assignment> &list);

} // namespace ProfileText
