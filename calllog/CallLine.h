#pragma once

#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>

/// The kinds of run marker lines in the log.
enum class MarkerKind { Start, End };

/// "#  mm-dd-yyyy - hh:mm:ss   Start" (or "   Ende"), whatever the locale.
std::string markerLine(const std::tm &time, MarkerKind kind);

/// "caller TAB msn TAB date TAB time", date and time in the user's locale (%x, %X).
std::string buildCallLine(std::string_view caller, std::string_view msn, const std::tm &when);

/// The time as a call line shows it (%X in the user's locale).
std::string callTimeText(const std::tm &when);

/// The fields joined by one TAB each. A TAB, CR or LF inside a field becomes a blank, so
/// that the fields stay in their columns and the line stays one line of the log.
std::string joinCallLine(std::initializer_list<std::string_view> fields);
