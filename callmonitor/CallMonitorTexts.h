#pragma once

/// The call monitor line's words, as the log, the window and stderr show them.
namespace CallMonitorTexts {
inline constexpr const char *kUnknownCaller = "Unbekannt";
inline constexpr const char *kAnsweredAt = "Angenommen an Nebenstelle ";
/// Completes a call that an answering machine took; the extension and ")" follow.
inline constexpr const char *kAnsweringMachine = "Anrufbeantworter (Nebenstelle ";
inline constexpr const char *kCallerHungUp = "Anrufer hat aufgelegt";
inline constexpr const char *kConnectionLost = "Verbindung verloren";
inline constexpr const char *kNoConnection = "Keine Verbindung zum Anrufmonitor";
inline constexpr const char *kLost = "Anrufmonitor-Verbindung verloren";
inline constexpr const char *kBack = "Anrufmonitor-Verbindung wieder hergestellt";
inline constexpr const char *kUp = "Anrufmonitor-Verbindung hergestellt";
inline constexpr const char *kBadLine = "Anrufmonitor: Zeile nicht verstanden, übersprungen: ";
} // namespace CallMonitorTexts
