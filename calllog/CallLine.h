#pragma once

#include <ctime>
#include <string>

/// The kinds of run marker lines in the log.
enum class MarkerKind { Start, End };

/// "#  mm-dd-yyyy - hh:mm:ss   Start" (or "   Ende"), whatever the locale.
std::string markerLine(const std::tm &time, MarkerKind kind);
