#pragma once

#include <string>
#include <string_view>

// The settings file in the INI format: sections in brackets, key=value entries. Hand-written
// rather than QSettings: settings files already in use must read as they always have
// (first match wins, 255-byte values, quotes, ";" comments, a delete that leaves every
// other byte), and QSettings has its own escaping, key case and rewrite rules.

/// Value of key Eintrag in section Gruppe of the settings file IniDatei, or "" when the
/// file, section or key is missing or cannot be read. A bare name is placed in
/// programDir (see ProfileText::resolveFileName). Never raises.
std::string IniGet(std::string IniDatei, std::string_view Gruppe, std::string_view Eintrag,
                   const std::string &programDir);
/// Removes key Eintrag from section Gruppe, leaving every other byte of the file as it
/// was; a missing file, section or key leaves the file untouched. Never raises.
void IniDel(std::string IniDatei, std::string_view Gruppe, std::string_view Eintrag,
            const std::string &programDir);
