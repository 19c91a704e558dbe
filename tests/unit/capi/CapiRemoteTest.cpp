#include "capi/CapiRemote.h"

#include "tests/support/ChildProcess.h"

#include <arpa/inet.h>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using CapiRemote::Remote;

struct ConfigCase
{
    const char *name;
    std::string text;
    std::optional<Remote> want;
};

class ParseConfig : public ::testing::TestWithParam<ConfigCase>
{
};

// Read as libcapi20 3.27 reads it (each case checked against the library's
// capi20ext_get_host/get_port).
TEST_P(ParseConfig, FindsTheRemoteTheLibraryUses)
{
    EXPECT_EQ(CapiRemote::parseConfig(GetParam().text), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseConfig,
    ::testing::Values(
        ConfigCase{"Plain", "REMOTE fritzbox 192.168.178.1 5031\n",
                   Remote{"fritzbox", "192.168.178.1", 5031}},
        ConfigCase{"Empty", "", std::nullopt},
        ConfigCase{"OnlyTrace", "TRACELEVEL 0\n", std::nullopt},
        ConfigCase{"Comment", "#REMOTE fritzbox h 12\n", std::nullopt},
        ConfigCase{"IndentedComment", "   # REMOTE fritzbox h 12\n", std::nullopt},
        ConfigCase{"BlanksEverywhere", "  \tREMOTE   fritzbox \t 10.0.0.9   777\n",
                   Remote{"fritzbox", "10.0.0.9", 777}},
        ConfigCase{"NoPortMeansDefault", "REMOTE fritzbox 127.0.0.1\n",
                   Remote{"fritzbox", "127.0.0.1", 2662}},
        ConfigCase{"PortZeroMeansDefault", "REMOTE rcapi 127.0.0.1 0\n",
                   Remote{"rcapi", "127.0.0.1", 2662}},
        ConfigCase{"PortDigitsThenJunk", "REMOTE fritzbox h 777x\n", Remote{"fritzbox", "h", 777}},
        ConfigCase{"PortCutTo16Bits", "REMOTE fritzbox h 99999\n", Remote{"fritzbox", "h", 34463}},
        ConfigCase{"LastLineWins", "REMOTE fritzbox h 12\nREMOTE fritzbox g 13\n",
                   Remote{"fritzbox", "g", 13}},
        ConfigCase{"PrefixMatches", "REMOTEX fritzbox h 12\n", Remote{"fritzbox", "h", 12}},
        // The last character of every line goes, newline or not.
        ConfigCase{"LastLineWithoutNewlineLosesADigit", "REMOTE fritzbox h 12",
                   Remote{"fritzbox", "h", 1}},
        ConfigCase{"NoHost", "REMOTE fritzbox\n", Remote{"fritzbox", "", 2662}},
        ConfigCase{"BareRemote", "REMOTE\n", Remote{"", "", 2662}},
        ConfigCase{"AmongOtherLines", "TRACELEVEL 0\n\nREMOTE fritzbox fritz.box 5031\nX\n",
                   Remote{"fritzbox", "fritz.box", 5031}},
        // fgets reads 1023 characters at a time: a long line's tail is a line of its own.
        ConfigCase{"TailOfALongLine", std::string(1023, ' ') + "REMOTE fritzbox h 5\n",
                   Remote{"fritzbox", "h", 5}},
        ConfigCase{"CrLf", "REMOTE fritzbox h 12\r\n", Remote{"fritzbox", "h", 12}}),
    [](const auto &p) { return std::string(p.param.name); });

class ReadConfig : public ::testing::Test
{
protected:
    TempDir home;
    TempDir etc;
    std::string global() const { return etc.path() + "/capi20.conf"; }
    void write(const std::string &file, const std::string &text) { std::ofstream(file) << text; }
};

TEST_F(ReadConfig, UserFileFirst)
{
    write(home.path() + "/.capi20rc", "REMOTE fritzbox user 1\n");
    write(global(), "REMOTE fritzbox global 2\n");
    EXPECT_EQ(CapiRemote::readConfig(home.path().c_str(), global())->host, "user");
}

// The library reads the global file only when there is no user file at all.
TEST_F(ReadConfig, UserFileWithoutRemoteMeansALocalController)
{
    write(home.path() + "/.capi20rc", "TRACELEVEL 0\n");
    write(global(), "REMOTE fritzbox global 2\n");
    EXPECT_FALSE(CapiRemote::readConfig(home.path().c_str(), global()));
}

TEST_F(ReadConfig, GlobalFileWithoutUserFile)
{
    write(global(), "REMOTE fritzbox global 2\n");
    EXPECT_EQ(CapiRemote::readConfig(home.path().c_str(), global())->host, "global");
    EXPECT_EQ(CapiRemote::readConfig(nullptr, global())->host, "global");
}

TEST_F(ReadConfig, NoFileAtAll)
{
    EXPECT_FALSE(CapiRemote::readConfig(home.path().c_str(), global()));
}

/// A loopback listening socket; backlog 0 and one connection waiting make its accept queue
/// full, so that further SYNs are dropped as by a host that is away.
class Listener
{
public:
    explicit Listener(int backlog = 16)
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        listen(m_fd, backlog);
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~Listener()
    {
        for (int fd : m_fillers)
            close(fd);
        close(m_fd);
    }
    std::uint16_t port() const { return m_port; }
    void fillQueue()
    {
        // The first connection takes the only slot; the ones after it never complete.
        for (int i = 0; i < 2; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(m_port);
            connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
            m_fillers.push_back(fd);
        }
        usleep(100 * 1000);
    }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::vector<int> m_fillers;
};

TEST(Probe, ListeningPortIsReachable)
{
    Listener l;
    const auto r = CapiRemote::probe({"fritzbox", "127.0.0.1", l.port()});
    EXPECT_TRUE(r.reachable) << r.reason;
    EXPECT_TRUE(r.reason.empty());
}

TEST(Probe, HostNameIsResolved)
{
    Listener l;
    EXPECT_TRUE(CapiRemote::probe({"fritzbox", "localhost", l.port()}).reachable);
}

TEST(Probe, ClosedPortIsRefusedAtOnceAndNamed)
{
    std::uint16_t port = 0;
    {
        Listener gone;
        port = gone.port();
    }
    const auto start = std::chrono::steady_clock::now();
    const auto r = CapiRemote::probe({"fritzbox", "127.0.0.1", port}, 5s);
    EXPECT_FALSE(r.reachable);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    EXPECT_EQ(r.reason.rfind("127.0.0.1:" + std::to_string(port) + ": ", 0), 0u) << r.reason;
}

// Dropped SYNs: the probe gives up at its timeout, where a plain connect waits minutes.
TEST(Probe, HostThatDropsSynsTimesOut)
{
    Listener full(0);
    full.fillQueue();
    const auto start = std::chrono::steady_clock::now();
    const auto r = CapiRemote::probe({"fritzbox", "127.0.0.1", full.port()}, 700ms);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(r.reachable);
    EXPECT_GE(took, 600ms);
    EXPECT_LT(took, 10s);
    EXPECT_NE(r.reason.find("keine Antwort"), std::string::npos) << r.reason;
}

TEST(Probe, MissingHostIsNamed)
{
    const auto none = CapiRemote::probe({"fritzbox", "", 5031});
    EXPECT_FALSE(none.reachable);
    EXPECT_FALSE(none.reason.empty());
}

} // namespace
