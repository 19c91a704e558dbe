// klingelwacht --export: the real program writes caller.log as CSV and ends, without a
// display, beside a running instance (whose lock it leaves alone).
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class ExportCommand : public ::testing::Test
{
protected:
    TempDir dir;
    std::string log = "#  12-07-2026 - 08:00:00   Start\r\n"
                      "0301234567\t345\t07.12.2026\t09:00:00\tAnrufer hat aufgelegt\r\n"
                      "M\xfcller\t345\t08.12.2026\t10:00:00\tAngenommen an Nebenstelle 40\r\n"
                      "040\t345\t08.12.2026\t11:00:00\tAnrufbeantworter (Nebenstelle 41)\r\n"
                      "\t345\t08.12.2026\t12:00:00\tAbbruch; \"VSt\"\r\n"
                      "kaputt, halb\r\n"
                      "0301\t345\t08.12.2026\t13:";

    void SetUp() override
    {
        fs::copy_file(KW_KLINGELWACHT_PATH, dir / "klingelwacht");
        std::ofstream(dir / "caller.log", std::ios::binary) << log;
    }

    int run(const std::vector<std::string> &args, const std::string &out = "/dev/null")
    {
        std::vector<std::string> argv{(dir / "klingelwacht").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess p;
        // No display at all, and a locale whose %x is the log's.
        p.start(argv,
                {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LC_ALL=de_DE.UTF-8",
                 "HOME=" + dir.path()},
                out, (dir / "err").string(), dir.path());
        return p.wait(20s);
    }
};

TEST_F(ExportCommand, WritesEveryCallAsTheLoaderReadsIt)
{
    // A running instance holds the lock; the export neither waits for it nor asks it.
    const int lock = ::open((dir / "klingelwacht.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);

    ASSERT_EQ(run({"--export", (dir / "calls.csv").string()}), 0) << readFile(dir / "err");
    const std::string expected =
        "Anrufer;Name;Rufnummer (MSN);Datum;Zeit;Behandlung;Verpasst\r\n"
        "0301234567;;345;2026-12-07;09:00:00;Anrufer hat aufgelegt;ja\r\n"
        "M\xc3\xbcller;;345;2026-12-08;10:00:00;Angenommen an Nebenstelle 40;nein\r\n"
        "040;;345;2026-12-08;11:00:00;Anrufbeantworter (Nebenstelle 41);ja\r\n"
        "leer;;345;2026-12-08;12:00:00;\"Abbruch; \"\"VSt\"\"\";nein\r\n"
        "leer;;kaputt;;;;\r\n"
        "leer;;halb;;;;\r\n"
        // A line cut short moves one column on, as the grid shows it; nothing is made up.
        "leer;;0301;345;08.12.2026;13:;nein\r\n";
    EXPECT_EQ(readFile(dir / "calls.csv"), expected);
    EXPECT_EQ(readFile(dir / "caller.log"), log); // no start marker, nothing written

    ASSERT_EQ(run({"--export", "-"}, (dir / "stdout").string()), 0);
    EXPECT_EQ(readFile(dir / "stdout"), expected);
    ::close(lock);
}

TEST_F(ExportCommand, FailuresAreToldAndEndTheCommand)
{
    EXPECT_EQ(run({"--export"}), 2);
    EXPECT_EQ(run({"--export", (dir / "no" / "such" / "dir.csv").string()}), 1);
    EXPECT_NE(readFile(dir / "err").find("kann nicht geschrieben werden"), std::string::npos);
    fs::remove(dir / "caller.log");
    ASSERT_EQ(run({"--export", "-"}, (dir / "stdout").string()), 0);
    EXPECT_EQ(readFile(dir / "stdout"),
              "Anrufer;Name;Rufnummer (MSN);Datum;Zeit;Behandlung;Verpasst\r\n");
    EXPECT_FALSE(fs::exists(dir / "caller.log"));
}

} // namespace
