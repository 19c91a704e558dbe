#pragma once

#include <string>
#include <vector>

/// System calls made slow for the program, without root: a preload library that the test
/// builds with the system's C compiler. fdatasync waits fdatasyncMs first (a slow disk);
/// getaddrinfo for host waits hostMs and then finds nothing (a hanging name server that
/// never reaches the network).
struct SlowCalls
{
    int fdatasyncMs = 0;
    std::string host;
    int hostMs = 0;

    /// Builds the library in dir (readable by every uid) and gives the environment entries
    /// that load and set it. Raises when it cannot be built.
    std::vector<std::string> env(const std::string &dir) const;
};
