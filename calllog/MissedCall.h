#pragma once

#include <string_view>

/// How a call ended when the router's answering machine (its extensions 40 to 49) took
/// it: this text, the extension and ")".
inline constexpr std::string_view kAnsweringMachinePrefix = "Anrufbeantworter (Nebenstelle ";

/// Whether nobody took the call that ended with this handling text: the caller hung up,
/// the line was lost, or an answering machine took it. Every other text (taken on the bus,
/// at the computer, at an extension, diverted, a cause number) counts as answered, and so
/// does a call still open (no handling yet). Lines logged before answering machines were
/// told apart say "Angenommen an Nebenstelle 4x" and stay answered.
bool isMissedCall(std::string_view handling);
