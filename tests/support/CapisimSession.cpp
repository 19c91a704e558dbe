#include "tests/support/CapisimSession.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int CapisimSession::freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

namespace {

// Each test process holds a block of ApplIDs while it lives; capisim counts up from the
// block's first for every registration, so a block must outlast the re-registrations of
// one test.
constexpr int kFirstBlock = 64;
constexpr int kBlockSize = 32;
constexpr int kBlocks = (1024 - kFirstBlock) / kBlockSize;

/// The first ApplID of a block no other test process holds. The hold is a name in the
/// abstract socket namespace: it leaves nothing behind and ends with the process.
int claimBlock()
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    for (int block = 0; block < kBlocks; ++block) {
        const std::string name = "klingelwacht-test-applids-" + std::to_string(block);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::memcpy(a.sun_path + 1, name.data(), name.size());
        const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        if (bind(fd, reinterpret_cast<sockaddr *>(&a), len) == 0)
            return kFirstBlock + block * kBlockSize; // fd stays open for the process's life
    }
    close(fd);
    return -1;
}

} // namespace

int CapisimSession::ownApplId()
{
    // Numbers drawn from the pid collide: test processes started together have
    // neighbouring pids, and one's second registration took the other's first ApplID.
    static const int first = [] {
        const int claimed = claimBlock();
        return claimed > 0 ? claimed : 100 + static_cast<int>(getpid() % 800);
    }();
    return first;
}

CapisimSession::CapisimSession(int port) : SimulatorSession(port)
{
    setenv("HOME", home().c_str(), 1);
    if (m_port)
        writeRc();
}

void CapisimSession::start(const std::string &scenario, std::vector<std::string> extra)
{
    extra.insert(extra.begin(), {"--port", std::to_string(m_port)});
    startSimulator(KW_CAPISIM_PATH, "scenario.txt", scenario, extra);
    writeRc();
}

void CapisimSession::startFor(const std::string &programHome, const std::string &scenario,
                              std::vector<std::string> extra)
{
    extra.insert(extra.end(), {"--applid", std::to_string(ownApplId())});
    start(scenario, extra);
    std::filesystem::copy_file(path(".capi20rc"), std::filesystem::path(programHome) / ".capi20rc",
                               std::filesystem::copy_options::overwrite_existing);
}

std::vector<capisim::TranscriptEntry> CapisimSession::transcript() const
{
    std::vector<capisim::TranscriptEntry> out;
    std::istringstream in(transcriptText());
    for (std::string line; std::getline(in, line);)
        if (auto e = capisim::parseTranscriptLine(line))
            out.push_back(std::move(*e));
    return out;
}

std::optional<capisim::TranscriptEntry>
CapisimSession::waitForEntry(const capisim::Condition &c, int n,
                             std::chrono::milliseconds timeout) const
{
    std::optional<capisim::TranscriptEntry> found;
    waitUntil(
        [&] {
            int seen = 0;
            for (auto &e : transcript())
                if (capisim::matches(e, c) && seen++ == n) {
                    found = e;
                    return true;
                }
            return false;
        },
        timeout);
    return found;
}

int CapisimSession::count(const capisim::Condition &c) const
{
    int n = 0;
    for (auto &e : transcript())
        n += capisim::matches(e, c);
    return n;
}

void CapisimSession::writeRc() const
{
    // The library's parser drops the last character of every line: end each in '\n'.
    std::ofstream(path(".capi20rc"))
        << "REMOTE fritzbox 127.0.0.1 " << m_port << "\nTRACELEVEL 0\n";
}
