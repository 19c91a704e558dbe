#pragma once

#include <functional>
#include <string>

/// Ends the program after an error that reached an event handler.
using FatalErrorReporter = std::function<void(const std::string &message)>;

/// The real reporter: a modal message box titled "Klingelwacht", the same text on
/// stderr, and exit status 1 with no further shutdown step.
[[noreturn]] void reportFatalError(const std::string &message);
