// The real klingelwacht where the disk or its files are broken: a log that cannot be
// written (and then can again), settings of garbage or a directory in their place, and a
// log full of bytes no editor would write.
#include "tests/desktop/faults/Faults.h"

namespace {

using namespace faults;

// While the log cannot be written the calls still come in and the user hears of it; once
// it can, the timer gets the kept line in without waiting for another call, and the next
// call follows it.
TEST_F(Faults, LogOnAFullDiskIsWrittenLaterInOrder)
{
    makeFullDisk(log());
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
    // The retry comes about every 30 s.
    ASSERT_TRUE(
        waitUntil([&] { return fs::exists(log()) && linesFrom(readFile(log())).size() == 1; }, 90s))
        << err() << "\ncaller.log: " << (fs::exists(log()) ? readFile(log()) : "(none)")
        << "\ntranscript:\n"
        << sim.transcriptText();
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
