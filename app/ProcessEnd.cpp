#include "app/ProcessEnd.h"

#include "calllog/CallLog.h"
#include "capi/CapiWorker.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define KW_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KW_LEAK_CHECK 1
#endif
#endif
#ifdef KW_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace ProcessEnd {

void now(int status)
{
    CapiWorker::parkAll();
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
#ifdef KW_LEAK_CHECK
    // _exit skips LeakSanitizer's own check at exit; what is still in use is reachable.
    __lsan_do_leak_check();
#endif
    ::_exit(status);
}

void finishLog()
{
    // No library call of the CAPI thread may run into the log's last write or the end.
    CapiWorker::parkAll();
    CallLog::finishAtProcessEnd(std::chrono::steady_clock::now() + kShutdownBudget);
}

void afterDisplayLoss()
{
    finishLog();
    now(1);
}

void installExitHook()
{
    // Registered after the log's own hook, so it runs first and the log's never has to.
    static const bool installed = std::atexit([] { afterDisplayLoss(); }) == 0;
    (void)installed;
}

} // namespace ProcessEnd
