#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

/// Fails the test process when a guarded stretch does not end within its time: a CAPI call
/// that blocks cannot be interrupted, only reported.
class Watchdog
{
public:
    Watchdog(std::chrono::seconds limit, const char *what);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};
