#pragma once

#include <string>
#include <string_view>

/// Value of key Eintrag in section Gruppe of the settings file IniDatei, or "".
/// A bare name is placed in programDir. Never raises.
std::string IniGet(std::string IniDatei, std::string_view Gruppe, std::string_view Eintrag,
                   const std::string &programDir);
/// Removes key Eintrag from section Gruppe. Never raises.
void IniDel(std::string IniDatei, std::string_view Gruppe, std::string_view Eintrag,
            const std::string &programDir);
