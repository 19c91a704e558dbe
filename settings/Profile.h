#pragma once

#include "settings/ProfileText.h"

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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
/// Sets key Eintrag in section Gruppe to Wert (see ProfileText::setValues for where it
/// goes), leaving every other byte of the file as it was; a missing file is created. The
/// file is replaced whole (a temporary file renamed over it, its mode kept), or not at all;
/// when the key already reads as Wert it is not touched. Returns what stopped the write
/// (EINVAL for a name or value with a line break), or no error.
std::error_code IniSet(std::string IniDatei, std::string_view Gruppe, std::string_view Eintrag,
                       std::string_view Wert, const std::string &programDir);
/// Several values in one replacement of the file: all of them are written, or none.
std::error_code IniSetAll(std::string IniDatei, const std::vector<ProfileText::Assignment> &values,
                          const std::string &programDir);
