#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// The remote CAPI peer libcapi20 is configured for, and a test that it can be reached
/// before the library is asked to register (the library's own connect waits for minutes
/// on a host that drops SYNs, and cannot be interrupted).
namespace CapiRemote {

/// The library's default port when the REMOTE line names none (or 0).
inline constexpr std::uint16_t kDefaultPort = 2662;
inline constexpr std::chrono::milliseconds kProbeTimeout{5000};

/// A `REMOTE <driver> <host> <port>` line.
struct Remote
{
    std::string driver;
    std::string host;
    std::uint16_t port = kDefaultPort;

    bool operator==(const Remote &) const = default;
};

/// The REMOTE line of a configuration text, read the way libcapi20 reads it: lines of at
/// most 1023 characters, each losing its last character, leading blanks and # comments
/// skipped, "REMOTE" matched as a prefix, the last such line winning.
std::optional<Remote> parseConfig(std::string_view text);

/// The remote of ~/.capi20rc (home: $HOME), or of the global file when that cannot be
/// opened; none means a local controller.
std::optional<Remote> readConfig(const char *home,
                                 const std::string &globalFile = "/etc/capi20.conf");

struct ProbeResult
{
    bool reachable = false;
    /// The numeric address that answered, when it is IPv4 (what the library can take).
    std::string ipv4Address;
    /// Why not, for the user: "<host>:<port>: <reason>".
    std::string reason;
};

/// Resolves the host and opens a TCP connection to it with a time limit, then closes it.
ProbeResult probe(const Remote &remote, std::chrono::milliseconds timeout = kProbeTimeout);

} // namespace CapiRemote
