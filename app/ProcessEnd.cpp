#include "app/ProcessEnd.h"

#include "calllog/CallLog.h"
#include "capi/CapiWorker.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace ProcessEnd {

void now(int status)
{
    CapiWorker::parkAll();
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(status);
}

void afterDisplayLoss()
{
    // No library call of the CAPI thread may run into the log's last write or the end.
    CapiWorker::parkAll();
    CallLog::finishAtProcessEnd(std::chrono::steady_clock::now() + kShutdownBudget);
    now(1);
}

void installExitHook()
{
    // Registered after the log's own hook, so it runs first and the log's never has to.
    static const bool installed = std::atexit([] { afterDisplayLoss(); }) == 0;
    (void)installed;
}

} // namespace ProcessEnd
