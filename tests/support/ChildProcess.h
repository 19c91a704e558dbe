#pragma once

// A process of a test mostly works in a TempDir of its own.
#include "tests/support/TempDir.h"

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

/// A process started by a test and ended by its PID when the object goes (SIGTERM,
/// then SIGKILL after a grace period). Standard output and error go to files.
class ChildProcess
{
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess() { stop(); }

    /// Starts argv[0] (searched in PATH) with extra environment entries "NAME=value"
    /// (an entry "NAME" without "=" removes the variable). Raises on failure.
    void start(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
               const std::string &stdoutPath = "/dev/null",
               const std::string &stderrPath = "/dev/null", const std::string &cwd = {});
    /// Sends SIGTERM and waits up to the grace period, then SIGKILL. Returns the exit code
    /// (128 + signal when killed), or -1 when nothing ran.
    int stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));
    /// Waits for the process to end by itself; -2 on time-out (still running).
    int wait(std::chrono::milliseconds timeout);
    void signal(int sig) const;
    bool isRunning();
    int pid() const { return m_pid; }

private:
    int reap(bool block);

    int m_pid = -1;
    int m_status = -1;
};

/// Polls cond every 20 ms until it holds or the timeout passes.
template<class Cond>
bool waitUntil(Cond cond, std::chrono::milliseconds timeout = std::chrono::milliseconds(10000))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (cond())
            return true;
        struct timespec ts = {0, 20 * 1000 * 1000};
        nanosleep(&ts, nullptr);
    }
    return cond();
}
