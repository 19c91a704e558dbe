#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

/// The kinds of run marker records in the log.
enum class MarkerKind { Start, End };

/// "#  mm-dd-yyyy - hh:mm:ss   Start" (or "   Ende"), whatever the locale.
std::string markerRecord(const std::tm &time, MarkerKind kind);

/// One call as the grid, the list and the log hold it: "caller TAB msn TAB date TAB time",
/// and "TAB handling" once the call is completed. This type is the one place that knows
/// that row format; the views split and fill their rows through field and withHandling.
struct CallLine
{
    /// TABs in a row that has all its fields.
    static constexpr std::size_t kTabs = 4;
    /// Put with a TAB in front of a row read back with fewer than kTabs TABs, so that such
    /// a row shows the word in its first column and its own fields one column further on.
    static constexpr std::string_view kLeer = "leer";

    std::string caller;
    std::string msn;
    std::string date; // the user's locale (%x)
    std::string time; // the user's locale (%X)
    /// How the call ended; none while it is open (its row then has four fields).
    std::optional<std::string> handling;

    /// The call that arrives at when, date and time in the user's locale.
    static CallLine arrived(std::string_view caller, std::string_view msn, const std::tm &when);
    /// The row read back: the "leer" rule first, then everything after the fourth TAB is
    /// the handling. A row still short of TABs gets empty fields and no handling.
    static CallLine fromText(std::string_view row);
    /// Whether a row read back with this many TABs gets "leer" and a TAB in front.
    static bool needsLeer(std::size_t tabs) { return tabs < kTabs; }

    /// The fields joined by one TAB each. A TAB, CR or LF inside a field becomes a blank,
    /// so that the fields stay in their columns and the row stays one record of the log.
    std::string text() const;
    /// The same call with its handling column filled in.
    CallLine completed(std::string_view how) const;

    /// Field index (0 is the caller, kTabs the handling) of a row as a view shows it: up
    /// to the next TAB, so that the handling column does not take the TABs of surplus
    /// fields; empty when the row has fewer fields.
    static std::string_view field(std::string_view row, std::size_t index);
    /// The row's first kTabs fields (empty where the row is short of them), each with its
    /// TAB, and how as the handling field; whatever the row had after them is gone.
    static std::string withHandling(std::string_view row, std::string_view how);

    bool operator==(const CallLine &) const = default;
};
