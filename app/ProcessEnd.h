#pragma once

#include <chrono>

/// How the process ends once its log is finished: at once, without waiting for what Qt and
/// the libraries would still wait for at a normal exit (host-name lookups in Qt's thread
/// pool, the CAPI thread inside libcapi20, the library's own exit-time teardown).
namespace ProcessEnd {

/// The waits of a shutdown (the CAPI thread's stop, the log's sync) end by this long after
/// it was asked for; the rest of the promised 5 s is for the steps around them.
inline constexpr std::chrono::milliseconds kShutdownBudget{4500};

/// The CAPI threads are parked, stdout and stderr flushed, and the process ends with status.
[[noreturn]] void now(int status);

/// The CAPI threads are parked and the log finished with the end marker (unless it was
/// finished before) within kShutdownBudget. Any thread.
void finishLog();

/// The log of a process that ends without its shutdown (the display connection broke) is
/// finished with the end marker within kShutdownBudget, and the process ends with status 1.
/// Any thread.
[[noreturn]] void afterDisplayLoss();

/// From now on an exit() that no one planned (Qt's xcb plugin calls exit(1) when the X
/// connection breaks) runs afterDisplayLoss(). Call after the log's writer has started.
void installExitHook();

} // namespace ProcessEnd
