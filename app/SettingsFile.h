#pragma once

#include "callmonitor/CallMonitorSettings.h"
#include "settings/ProfileText.h"
#include "ui/SettingsValues.h"

#include <string>
#include <vector>

/// The settings dialog's values and the settings file's entries: which key holds what.
namespace SettingsFile {

inline constexpr const char *kPhonebookSection = "Telefonbuch";

/// The values as the file (iniFile, resolved as IniGet does) has them now.
SettingsValues read(const std::string &iniFile, const std::string &programDir, bool autostart);

/// The entries to write so that the file reads as after; none for a value that has not
/// changed, so that an unchanged dialog leaves the file as it was.
std::vector<ProfileText::Assignment> changes(const SettingsValues &before,
                                             const SettingsValues &after);

/// The line the values choose: the call monitor when it is chosen and names a host.
CallMonitorSettings lineOf(const SettingsValues &values);

/// Whether anything the phonebook reads has changed.
bool phonebookChanged(const SettingsValues &before, const SettingsValues &after);

} // namespace SettingsFile
