#pragma once

#include "tests/support/SimulatorSession.h"
#include "tools/capisim/Transcript.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

/// capisim on a loopback port with a scenario, and a private HOME whose .capi20rc points
/// libcapi20 at it. HOME is set in this process before the library is first asked, and
/// every session ends with a release, so the library reads its configuration afresh.
class CapisimSession : public SimulatorSession
{
public:
    /// A loopback port that was free a moment ago.
    static int freePort();

    /// ApplIDs of their own for each test process: the library shares its ApplID table
    /// between all processes on the machine.
    static int ownApplId();

    explicit CapisimSession(int port = 0);

    const std::string &home() const { return dir(); }

    /// Starts capisim with this scenario text and waits until it listens.
    void start(const std::string &scenario, std::vector<std::string> extra = {});
    /// Starts capisim with the test process's own ApplIDs for a program whose HOME is
    /// programHome, and gives that home the .capi20rc pointing at it.
    void startFor(const std::string &programHome, const std::string &scenario,
                  std::vector<std::string> extra = {});

    std::vector<capisim::TranscriptEntry> transcript() const;

    /// The n-th (from 0) transcript entry that meets the condition, once there is one.
    std::optional<capisim::TranscriptEntry>
    waitForEntry(const capisim::Condition &c, int n = 0,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    int count(const capisim::Condition &c) const;

private:
    void writeRc() const;
};
