#pragma once

// The fixture of the fault tests: the real klingelwacht with capisim as its line, docked
// in trayer on a private Xvfb, and what the tests read back of its log.
#include "tests/support/CapisimSession.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "tests/desktop/DesktopTest.h"

namespace faults {

using namespace desktop;
using capisim::Condition;
using namespace std::string_literals;

inline bool isMarker(const std::string &line, const char *word)
{
    static const std::regex marker(R"(#  \d\d-\d\d-\d{4} - \d\d:\d\d:\d\d   (Start|Ende))");
    return std::regex_match(line, marker) && line.ends_with(word);
}

// The lines of text after skip bytes, each ended by CR LF.
inline std::vector<std::string> linesFrom(const std::string &text, std::size_t skip = 0)
{
    std::vector<std::string> lines;
    std::size_t at = skip;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    EXPECT_EQ(at, text.size()) << "the log ends in a line without CR LF";
    return lines;
}

class Faults : public DesktopTest
{
protected:
    CapisimSession sim;

    void startLine(const std::string &scenario) { sim.startFor(dir.path(), scenario); }
    fs::path log() const { return binDir / "caller.log"; }
    // A full disk under the log's own name: a device node like /dev/full (a link to it
    // would be refused as a link).
    void makeFullDisk(const fs::path &p) const
    {
        ASSERT_EQ(::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0) << std::strerror(errno);
    }
    std::string err() const { return readFile(dir.path() + "/kw.err"); }

    // A connection of the test's own, which the scenario can wait for ("wait-for OPEN"):
    // lets the test say when the line goes on.
    void poke() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(sim.port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int rc = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::close(fd);
        ASSERT_EQ(rc, 0);
    }

    // Up and listening with the start marker in the log, then ended by SIGTERM: the end
    // marker follows it.
    void startAndEnd(std::size_t logBytesBefore)
    {
        startLine("wait-for LISTEN_REQ timeout=30\n");
        startDocked();
        ASSERT_TRUE(sim.waitForEntry(Condition{"LISTEN_REQ", {}}, 0, 30s)) << err();
        ASSERT_TRUE(waitUntil([&] {
            const auto lines = linesFrom(readFile(log()), logBytesBefore);
            return lines.size() == 1 && isMarker(lines[0], "Start");
        })) << readFile(log()).substr(logBytesBefore);
        app.signal(SIGTERM);
        ASSERT_EQ(app.wait(15s), 0) << err();
        const auto lines = linesFrom(readFile(log()), logBytesBefore);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(isMarker(lines[1], "Ende")) << lines[1];
    }
};

} // namespace faults
