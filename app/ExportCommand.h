#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

/// The name the phonebook knows for a caller; empty when it knows none.
using ExportNameResolver = std::function<std::string(std::string_view caller)>;

/// "klingelwacht --export FILE.csv" ("-" for stdout): every call of caller.log as CSV,
/// read as the window's load reads it. Runs without a display, a window, the instance lock
/// or the running program. Nothing when the arguments ask for no export; otherwise the
/// exit status (0 done, 1 failed, 2 wrong arguments).
std::optional<int> exportCommand(int argc, char **argv, const ExportNameResolver &names = {});

/// Writes the calls of the log file logPath as CSV to target ("-" for stdout); says what
/// fails on stderr. The exit status as above.
int exportCalls(const std::string &logPath, const std::string &target,
                const ExportNameResolver &names);
