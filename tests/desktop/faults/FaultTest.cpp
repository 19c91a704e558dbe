// The real klingelwacht where the disk or its files are broken: a log that cannot be
// written (and then can again), settings of garbage or a directory in their place, and a
// log full of bytes no editor would write.
#include "CapisimSession.h"
#include "DesktopTest.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace desktop;
using capisim::Condition;
using namespace std::string_literals;

bool isMarker(const std::string &line, const char *word)
{
    static const std::regex marker(R"(#  \d\d-\d\d-\d{4} - \d\d:\d\d:\d\d   (Start|Ende))");
    return std::regex_match(line, marker) && line.ends_with(word);
}

// The lines of text after skip bytes, each ended by CR LF.
std::vector<std::string> linesFrom(const std::string &text, std::size_t skip = 0)
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

    void startLine(const std::string &scenario)
    {
        sim.start(scenario, {"--applid", std::to_string(CapisimSession::ownApplId())});
        fs::copy_file(sim.path(".capi20rc"), fs::path(dir.path()) / ".capi20rc",
                      fs::copy_options::overwrite_existing);
    }
    fs::path log() const { return binDir / "caller.log"; }
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

// While the log cannot be written the calls still come in and the user hears of it; once
// it can, the kept line goes in before the next one.
TEST_F(Faults, LogOnAFullDiskIsWrittenLaterInOrder)
{
    fs::create_symlink("/dev/full", log());
    startLine("wait-for LISTEN_REQ timeout=30\n"
              "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
              "wait-for ALERT_REQ plci=0x101 timeout=30\n"
              "disconnect plci=0x101 reason=0x349A\n"
              "wait-for DISCONNECT_RESP plci=0x101 timeout=30\n"
              "wait-for OPEN timeout=60\n"
              "connect plci=0x102 called=346 calling=3099 ton=0x21 pi=0x80\n"
              "wait-for ALERT_REQ plci=0x102 timeout=30\n"
              "disconnect plci=0x102 reason=0x3490\n");
    startDocked();
    ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {{"plci", "0x101"}}}, 0, 60s))
        << err();
    ASSERT_TRUE(waitUntil([&] {
        return err().find("Anrufliste caller.log kann nicht geschrieben werden") !=
               std::string::npos;
    })) << err();
    EXPECT_TRUE(app.isRunning());

    fs::remove(log());
    poke();
    ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {{"plci", "0x102"}}}, 0, 60s))
        << err();
    ASSERT_TRUE(waitUntil([&] { return linesFrom(readFile(log())).size() == 2; }))
        << readFile(log());
    app.signal(SIGTERM);
    ASSERT_EQ(app.wait(15s), 0) << err();

    // The start marker went to the full disk; the calls and the end follow in order.
    const auto lines = linesFrom(readFile(log()));
    ASSERT_EQ(lines.size(), 3u) << readFile(log());
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("03012345\t345\t.*\tAngenommen am S0-Bus")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("03099\t346\t.*\tAnrufer hat aufgelegt")))
        << lines[1];
    EXPECT_TRUE(isMarker(lines[2], "Ende")) << lines[2];
    // One report for the one run of failures.
    EXPECT_EQ(desktop::count(err(), "kann nicht geschrieben werden"), 1u) << err();
}

TEST_F(Faults, SettingsOfBinaryGarbage)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    garbage += "\n[Setup\0]\nMSN1=\xff\xfe\r\r[\n=\n"s;
    std::ofstream(binDir / "klingelwacht.INI", std::ios::binary) << garbage;
    startAndEnd(0);
}

TEST_F(Faults, SettingsNameIsADirectory)
{
    fs::create_directory(binDir / "klingelwacht.INI");
    fs::create_directory(binDir / "klingelwacht.INI" / "Setup");
    startAndEnd(0);
}

// NUL bytes, one line of 100 000 characters, bytes that are no UTF-8, a lone CR and a
// lone quote: the load passes over nothing it need not and the file is only appended to.
TEST_F(Faults, LogOfOddBytesIsLoadedAndAppendedTo)
{
    std::string text = "12.11.2026\t\0\0\0\t345\t10:00:00\tleer\r\n"s;
    text += std::string(100000, 'x') + "\r\n";
    text += "M\xfcller\t\xc3\x28\t\xed\xa0\x80\t\xf4\x90\x80\x80\t\xff\r\n";
    text += "lone\rcarriage\r\n\"open quote\r\n";
    std::ofstream(log(), std::ios::binary) << text;
    startAndEnd(text.size());
    EXPECT_EQ(readFile(log()).substr(0, text.size()), text);
}

} // namespace
