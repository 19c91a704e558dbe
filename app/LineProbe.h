#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Capi;
class QObject;

/// Tries a line without touching the running one: its own connection or registration,
/// dropped again at once. Every answer comes on the UI thread, once, within the time given
/// (and not after context is gone); nothing here blocks the UI thread.
namespace LineProbe {

enum class Outcome { Answered, Refused, NoAnswer };

struct Target
{
    std::string host;
    std::uint16_t port = 0;
    bool operator==(const Target &) const = default;
};

using Done = std::function<void(Outcome outcome, const std::string &detail)>;

/// A TCP connection to a router's call monitor (the name lookup counts in the time).
void tryCallMonitor(QObject *context, const Target &target, std::chrono::milliseconds timeout,
                    Done done);

/// What the settings dialog shows for an attempt at target.
std::string callMonitorText(Outcome outcome, const Target &target, const std::string &detail);

/// A registration with what makeCapi gives (libcapi20 finds its line by itself), released
/// again, on a thread of its own: the library may block without a time limit. done gets
/// the text to show.
void tryCapi(QObject *context, std::function<std::unique_ptr<Capi>()> makeCapi,
             std::chrono::milliseconds timeout, std::function<void(const std::string &)> done);

/// The IPv4 default gateway from a /proc/net/route table; "" when there is none.
std::string defaultGateway(const std::string &routeTable = "/proc/net/route");

/// The places a router's call monitor usually answers: fritz.box and the default gateway,
/// port 1012.
std::vector<Target> routerCandidates(const std::string &routeTable = "/proc/net/route");

/// Tries every candidate at once, each for timeout, and hands over those that answered,
/// in the candidates' order.
void searchRouters(QObject *context, const std::vector<Target> &candidates,
                   std::chrono::milliseconds timeout,
                   std::function<void(const std::vector<Target> &answered)> done);

} // namespace LineProbe
