#include "calllog/CallLog.h"

#include "calllog/CallLine.h"
#include "tests/fakes/RecordingSink.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"
#include "tests/unit/calllog/LoadCases.h"

#include "tests/fakes/FakeClock.h"
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>

#include <cstring>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path &p, const std::string &bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

std::size_t openFdCount()
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

int exitCodeOf(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A full disk where the log should be: a device node like /dev/full under the log's own
// name (a link to /dev/full is refused as a link). Needs root, as the tests run.
bool makeFullDisk(const fs::path &p)
{
    return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
}

#define MAKE_FULL_DISK(p)                                                                          \
    do {                                                                                           \
        if (!makeFullDisk(p))                                                                      \
            GTEST_SKIP() << "cannot make a device node: " << std::strerror(errno);                 \
    } while (0)

class CallLogTest : public ::testing::Test
{
protected:
    TempDir tmp;
    fs::path path = fs::path(tmp.path()) / "caller.log";
    std::vector<std::string> messages;

    CallLog makeLog()
    {
        CallLog log(path.string());
        log.setNotifier([this](const std::string &m) { messages.push_back(m); });
        return log;
    }
    std::vector<std::string> linesOf(const std::string &text) const
    {
        std::vector<std::string> lines;
        std::size_t at = 0;
        for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
            lines.push_back(text.substr(at, end - at));
        EXPECT_EQ(at, text.size()) << "the log ends in a line without CR LF";
        return lines;
    }
    std::string failureMessage(int err) const
    {
        return "Anrufliste " + path.string() +
               " kann nicht geschrieben werden: " + std::generic_category().message(err) +
               ". Die Anrufe werden nachgetragen.";
    }
};

// ---- LogAppend ----

TEST_F(CallLogTest, AppendCreatesFileAndWritesLineAndCrLf)
{
    CallLog log = makeLog();
    log.LogAppend(kLineA);
    EXPECT_EQ(readFile(path), kLineA + "\r\n");
    log.LogAppend(kLineB);
    EXPECT_EQ(readFile(path), kLineA + "\r\n" + kLineB + "\r\n");
}

TEST_F(CallLogTest, AppendWritesBothMarkersExactly)
{
    const std::tm t = FakeClock(2000, 12, 30, 14, 5, 9).localNow();
    CallLog log = makeLog();
    log.LogAppend(markerRecord(t, MarkerKind::Start));
    log.LogAppend(markerRecord(t, MarkerKind::End));
    EXPECT_EQ(readFile(path),
              "#  12-30-2000 - 14:05:09   Start\r\n#  12-30-2000 - 14:05:09   Ende\r\n");
}

TEST_F(CallLogTest, AppendAddsToExistingFile)
{
    writeFile(path, "old\r\n");
    makeLog().LogAppend(kLineA);
    EXPECT_EQ(readFile(path), "old\r\n" + kLineA + "\r\n");
}

TEST_F(CallLogTest, DefaultNameIsRelativeToCurrentDirectory)
{
    const fs::path old = fs::current_path();
    fs::current_path(tmp.path());
    CallLog log;
    EXPECT_EQ(log.fileName(), "caller.log");
    log.LogAppend("x");
    fs::current_path(old);
    EXPECT_EQ(readFile(path), "x\r\n");
}

// A line end inside the text must not make two lines of one call.
TEST_F(CallLogTest, AppendKeepsOneLinePerCall)
{
    makeLog().LogAppend("a\r\n#b\nc");
    EXPECT_EQ(readFile(path), "a  #b c\r\n");
}

TEST_F(CallLogTest, AppendRaisesWhenFileCannotBeWritten)
{
    MAKE_FULL_DISK(path);
    CallLog log = makeLog();
    try {
        log.LogAppend("x");
        FAIL() << "no error raised";
    } catch (const std::system_error &e) {
        EXPECT_EQ(e.code().value(), ENOSPC);
    }
}

// Opening a FIFO for writing would wait for a reader; the append fails at once instead.
TEST_F(CallLogTest, AppendToFifoWithoutReaderDoesNotBlock)
{
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    CallLog log = makeLog();
    auto done = std::async(std::launch::async,
                           [&] { EXPECT_THROW(log.LogAppend("x"), std::system_error); });
    EXPECT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

// Two processes append 1000 lines each; every line arrives whole, each writer's in order.
TEST_F(CallLogTest, TwoWritersNeverInterleave)
{
    const int kLines = 1000;
    std::vector<pid_t> pids;
    for (const char tag : {'P', 'Q'}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CallLog log(path.string());
            try {
                for (int i = 0; i < kLines; ++i)
                    log.LogAppend(std::string(1, tag) + std::to_string(i) + "\t" +
                                  std::string(200, tag) + "\t345\t30.12.2000\t14:05:09\tx");
            } catch (const std::exception &) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        pids.push_back(pid);
    }
    for (const pid_t pid : pids)
        EXPECT_EQ(exitCodeOf(pid), 0);

    std::istringstream in(readFile(path));
    std::string line;
    int next[2] = {0, 0};
    int count = 0;
    while (std::getline(in, line)) {
        ASSERT_TRUE(line.ends_with("\t345\t30.12.2000\t14:05:09\tx\r")) << line;
        const char tag = line.at(0);
        ASSERT_TRUE(tag == 'P' || tag == 'Q') << line;
        const int w = tag == 'P' ? 0 : 1;
        EXPECT_EQ(line, std::string(1, tag) + std::to_string(next[w]) + "\t" +
                            std::string(200, tag) + "\t345\t30.12.2000\t14:05:09\tx\r");
        ++next[w];
        ++count;
    }
    EXPECT_EQ(count, 2 * kLines);
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

// ---- kept lines ----

// caller.log is a full disk: the lines are kept and said once; once the name is a
// real file again, the kept lines and the next one arrive in order.
TEST_F(CallLogTest, KeptLinesReachFileInOrderOnceWritable)
{
    MAKE_FULL_DISK(path);
    CallLog log = makeLog();
    EXPECT_FALSE(log.appendCallRecord(kLineA));
    EXPECT_FALSE(log.appendCallRecord(kLineB));
    EXPECT_EQ(log.keptRecordCount(), 2u);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], failureMessage(ENOSPC));

    fs::remove(path);
    EXPECT_TRUE(log.appendCallRecord(kLineC));
    EXPECT_EQ(log.keptRecordCount(), 0u);
    EXPECT_EQ(readFile(path), kLineA + "\r\n" + kLineB + "\r\n" + kLineC + "\r\n");
    EXPECT_EQ(messages.size(), 1u);

    // A new run of failures is said again.
    fs::remove(path);
    ASSERT_TRUE(makeFullDisk(path));
    EXPECT_FALSE(log.appendCallRecord(kLineA));
    EXPECT_EQ(messages.size(), 2u);
}

// Tests run as root, whom a read-only directory does not stop; a parent that is a
// regular file stops everyone.
TEST_F(CallLogTest, KeptLinesWhenParentIsNotADirectory)
{
    const fs::path parent = fs::path(tmp.path()) / "sub";
    writeFile(parent, "");
    CallLog log((parent / "caller.log").string());
    std::vector<std::string> heard;
    log.setNotifier([&](const std::string &m) { heard.push_back(m); });
    EXPECT_FALSE(log.appendCallRecord(kLineA));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0],
              "Anrufliste " + (parent / "caller.log").string() +
                  " kann nicht geschrieben werden: " + std::generic_category().message(ENOTDIR) +
                  ". Die Anrufe werden nachgetragen.");
    fs::remove(parent);
    fs::create_directory(parent);
    EXPECT_TRUE(log.appendCallRecord(kLineB));
    EXPECT_EQ(readFile(parent / "caller.log"), kLineA + "\r\n" + kLineB + "\r\n");
}

// The end marker must not overtake kept lines.
TEST_F(CallLogTest, LogAppendWritesKeptLinesFirst)
{
    MAKE_FULL_DISK(path);
    CallLog log = makeLog();
    EXPECT_FALSE(log.appendCallRecord(kLineA));
    EXPECT_THROW(log.LogAppend("#  end"), std::system_error);
    EXPECT_THROW(log.flushKeptRecords(), std::system_error);
    EXPECT_EQ(log.keptRecordCount(), 1u);
    fs::remove(path);
    log.flushKeptRecords();
    log.LogAppend("#  end");
    EXPECT_EQ(readFile(path), kLineA + "\r\n#  end\r\n");
}

// A write cut short (here by the file size limit) leaves no piece of the line behind.
TEST_F(CallLogTest, ShortWriteIsRolledBack)
{
    writeFile(path, "0123456789");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {20, 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        CallLog log(path.string());
        log.setNotifier([](const std::string &) {});
        const bool written = log.appendCallRecord(std::string(30, 'x'));
        ::_exit(!written && log.keptRecordCount() == 1 ? 0 : 1);
    }
    EXPECT_EQ(exitCodeOf(pid), 0);
    EXPECT_EQ(readFile(path), "0123456789");
}

// ---- a private file that cannot be redirected ----

TEST_F(CallLogTest, NewLogIsPrivateAndAnOldOneKeepsItsMode)
{
    const mode_t old = ::umask(0);
    makeLog().LogAppend("x");
    ::umask(old);
    struct stat st = {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    makeLog().LogAppend("y");
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

// A link planted in place of the log is not followed, to an existing file or a new one;
// the call line is kept and the user is told why.
TEST_F(CallLogTest, LinkInPlaceOfTheLogIsRefusedAndTheLineKept)
{
    const fs::path existing = fs::path(tmp.path()) / "victim";
    writeFile(existing, "victim\n");
    for (const fs::path &target : {existing, fs::path(tmp.path()) / "new"}) {
        SCOPED_TRACE(target.string());
        fs::remove(path);
        fs::create_symlink(target, path);
        messages.clear();
        CallLog log = makeLog();
        EXPECT_FALSE(log.appendCallRecord(kLineA));
        EXPECT_EQ(log.keptRecordCount(), 1u);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], "Anrufliste " + path.string() +
                                   " ist ein symbolischer Verweis und wird nicht beschrieben. "
                                   "Die Anrufe werden nachgetragen.");
        EXPECT_THROW(log.LogAppend("#  marker"), std::system_error);
        EXPECT_EQ(readFile(existing), "victim\n");
        EXPECT_FALSE(fs::exists(fs::path(tmp.path()) / "new"));
        log.finish(std::nullopt);
    }
}

// ---- a last line without its end ----

struct GlueCase
{
    const char *name;
    std::string before;
    std::string after;
};

class UnterminatedLastLine : public ::testing::TestWithParam<GlueCase>
{
};

TEST_P(UnterminatedLastLine, NewLineStartsOnALineOfItsOwn)
{
    TempDir tmp;
    const fs::path path = fs::path(tmp.path()) / "caller.log";
    if (!GetParam().before.empty() || GetParam().name == std::string("Empty"))
        writeFile(path, GetParam().before);
    CallLog log(path.string());
    log.LogAppend("new");
    EXPECT_EQ(readFile(path), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(CallLog, UnterminatedLastLine,
                         ::testing::Values(GlueCase{"Missing", "", "new\r\n"},
                                           GlueCase{"Empty", "", "new\r\n"},
                                           GlueCase{"EndsInCrLf", "a\r\n", "a\r\nnew\r\n"},
                                           GlueCase{"EndsInLf", "a\n", "a\nnew\r\n"},
                                           GlueCase{"EndsInText", "a\tb", "a\tb\r\nnew\r\n"},
                                           GlueCase{"EndsInCr", "a\r", "a\r\r\nnew\r\n"}),
                         [](const auto &param) { return std::string(param.param.name); });

// ---- the writer thread ----

// 1 000 call lines in quick succession between the two markers: all in the file, in the
// order given, the end marker last, and the caller never waited for the disk.
TEST_F(CallLogTest, WriterKeepsTheOrderOfAThousandQuickLines)
{
    const FakeClock clock(2000, 12, 30, 14, 5, 9);
    CallLog log = makeLog();
    log.startWriter(clock);
    log.LogAppend("#  start");
    std::vector<std::string> expected{"#  start"};
    for (int i = 0; i < 1000; ++i) {
        expected.push_back("caller" + std::to_string(i) + "\t345\t30.12.2000\t14:05:09\tx");
        EXPECT_TRUE(log.appendCallRecord(expected.back()));
    }
    log.finish("#  end", std::chrono::minutes(2)); // a slow disk here must not fail it
    expected.push_back("#  end");
    EXPECT_EQ(linesOf(readFile(path)), expected);
    EXPECT_TRUE(messages.empty());
    log.appendCallRecord("after the end");
    EXPECT_EQ(linesOf(readFile(path)).size(), expected.size());
}

// Shutdown that cannot wait for the writer's sync: every line is in the file already, and
// stderr names those not yet synced as written, never as missing (pasted back they would
// be doubled).
TEST_F(CallLogTest, FinishThatCannotWaitNamesUnsyncedLinesAsWritten)
{
    const FakeClock clock(2000, 12, 30, 14, 5, 9);
    CallLog log = makeLog();
    log.startWriter(clock);
    std::vector<std::string> expected;
    for (int i = 0; i < 1000; ++i) {
        expected.push_back("line" + std::to_string(i) + "\t" + std::string(100, 'x'));
        log.appendCallRecord(expected.back());
    }
    expected.push_back("#  end");
    ::testing::internal::CaptureStderr();
    log.finish("#  end", std::chrono::milliseconds(0));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(linesOf(readFile(path)), expected);
    EXPECT_EQ(err.find("fehlen"), std::string::npos) << err;
    const std::size_t headerAt = err.find("geschrieben, aber nicht bestätigt:\n");
    if (headerAt != std::string::npos) {
        std::istringstream rest(err.substr(err.find('\n', headerAt) + 1));
        for (std::string line; std::getline(rest, line);)
            EXPECT_NE(std::find(expected.begin(), expected.end(), line), expected.end()) << line;
    }
}

// A disk that is full and then freed: the timer gets the kept lines in without a new call,
// and not before the retry interval has passed.
TEST_F(CallLogTest, TimerRetriesKeptLinesAfterTheInterval)
{
    for (const bool threaded : {false, true}) {
        SCOPED_TRACE(threaded ? "writer thread" : "caller's thread");
        fs::remove(path);
        MAKE_FULL_DISK(path);
        messages.clear();
        const FakeClock clock(2000, 12, 30, 14, 5, 9);
        CallLog log = makeLog();
        log.setRetryInterval(std::chrono::hours(1));
        if (threaded)
            log.startWriter(clock);
        log.appendCallRecord(kLineA);
        log.appendCallRecord(kLineB);
        ASSERT_TRUE(log.waitIdle(std::chrono::seconds(10)));
        log.timerTick();
        EXPECT_EQ(messages, std::vector<std::string>{failureMessage(ENOSPC)});
        fs::remove(path);
        log.timerTick();
        ASSERT_TRUE(log.waitIdle(std::chrono::seconds(10)));
        EXPECT_FALSE(fs::exists(path)) << "retried before the interval";
        EXPECT_EQ(log.keptRecordCount(), 2u);

        log.setRetryInterval(std::chrono::milliseconds(0));
        log.timerTick();
        ASSERT_TRUE(log.waitIdle(std::chrono::seconds(10)));
        EXPECT_EQ(readFile(path), kLineA + "\r\n" + kLineB + "\r\n");
        EXPECT_EQ(log.keptRecordCount(), 0u);
        log.finish(std::nullopt);
    }
}

// At shutdown a kept line that still cannot be written goes to stderr whole, the end
// marker with it; nothing raises and nothing waits for a box.
TEST_F(CallLogTest, FinishOnAFullDiskPutsKeptLinesAndMarkerOnStderr)
{
    for (const bool threaded : {false, true}) {
        SCOPED_TRACE(threaded ? "writer thread" : "caller's thread");
        fs::remove(path);
        MAKE_FULL_DISK(path);
        const FakeClock clock(2000, 12, 30, 14, 5, 9);
        CallLog log = makeLog();
        if (threaded)
            log.startWriter(clock);
        log.appendCallRecord(kLineA);
        ::testing::internal::CaptureStderr();
        log.finish("#  12-30-2000 - 14:05:09   Ende");
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(
            err.find("Klingelwacht: Anrufliste " + path.string() +
                     " kann nicht geschrieben werden: " + std::generic_category().message(ENOSPC) +
                     ". Diese Zeilen fehlen darin:\n" + kLineA +
                     "\n#  12-30-2000 - 14:05:09   Ende\n"),
            std::string::npos)
            << err;
    }
}

// exit() (as Qt calls it when the X connection breaks) still writes the kept lines and the
// end marker; a fatal error writes the lines but no end marker.
TEST_F(CallLogTest, ExitWritesKeptLinesAndTheEndMarker)
{
    for (const bool fatal : {false, true}) {
        SCOPED_TRACE(fatal ? "fatal error" : "exit");
        fs::remove(path);
        MAKE_FULL_DISK(path);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const FakeClock clock(2000, 12, 30, 14, 5, 9);
            auto *log = new CallLog(path.string()); // alive when the exit handlers run
            log->setNotifier([](const std::string &) {});
            log->startWriter(clock);
            log->LogAppend("#  start");
            log->appendCallRecord(kLineA);
            log->waitIdle(std::chrono::seconds(10));
            ::unlink(path.c_str()); // the disk is free again, but no call comes
            if (fatal) {
                CallLog::finishBeforeFatalExit();
                std::_Exit(1);
            }
            std::exit(1);
        }
        EXPECT_EQ(exitCodeOf(pid), 1);
        const std::string expected =
            kLineA + "\r\n" + (fatal ? "" : "#  12-30-2000 - 14:05:09   Ende\r\n");
        EXPECT_EQ(readFile(path), expected);
    }
}

// ---- LogLoad ----

class CallLogLoadCases : public ::testing::TestWithParam<LoadCase>
{
};

TEST_P(CallLogLoadCases, LoadsFile)
{
    TempDir tmp;
    const fs::path path = fs::path(tmp.path()) / "caller.log";
    writeFile(path, GetParam().bytes);
    RecordingSink sink;
    CallLog(path.string()).LogLoad(sink);
    expectLoaded(sink, GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(CallLog, CallLogLoadCases, ::testing::ValuesIn(loadCases()),
                         [](const auto &param) { return std::string(param.param.name); });

TEST_F(CallLogTest, LoadWithoutFileHandsOutNothing)
{
    RecordingSink sink;
    makeLog().LogLoad(sink);
    expectLoaded(sink, {});
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(CallLogTest, LoadTreatsDirectoryAsMissing)
{
    fs::create_directory(path);
    RecordingSink sink;
    makeLog().LogLoad(sink);
    expectLoaded(sink, {});
}

TEST_F(CallLogTest, LoadTreatsFifoAsMissingAndReturnsAtOnce)
{
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    RecordingSink sink;
    CallLog log = makeLog();
    auto done = std::async(std::launch::async, [&] { log.LogLoad(sink); });
    if (done.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Release a reader that waits for a writer, so the test can end.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        FAIL() << "LogLoad blocked on a FIFO";
    }
    done.get();
    expectLoaded(sink, {});
}

TEST_F(CallLogTest, LoadFollowsSymlinkToRegularFile)
{
    const fs::path real = fs::path(tmp.path()) / "elsewhere.log";
    writeFile(real, kLineA + "\r\n");
    fs::create_symlink(real, path);
    RecordingSink sink;
    makeLog().LogLoad(sink);
    expectLoaded(sink, {kLineA});
}

// /proc/self/mem is a regular file whose first read fails (nothing is mapped at 0).
TEST_F(CallLogTest, LoadRaisesOnReadFailureAndClosesFile)
{
    fs::create_symlink("/proc/self/mem", path);
    RecordingSink sink;
    CallLog log = makeLog();
    const std::size_t fdsBefore = openFdCount();
    EXPECT_THROW(log.LogLoad(sink), std::system_error);
    EXPECT_EQ(openFdCount(), fdsBefore);
    expectLoaded(sink, {});
}

TEST_F(CallLogTest, LoadThenStartMarkerLeavesMarkerOutOfViews)
{
    writeFile(path, kLineA + "\r\n");
    RecordingSink sink;
    CallLog log = makeLog();
    log.LogLoad(sink);
    log.LogAppend("#  12-30-2000 - 14:05:09   Start");
    expectLoaded(sink, {kLineA});
    RecordingSink again;
    log.LogLoad(again);
    expectLoaded(again, {kLineA});
}

// A file over 1 GiB (here sparse: a hole of NUL bytes) is loaded from its last GiB only,
// which is said; the line cut by that border is passed over.
TEST_F(CallLogTest, LoadOfAHugeFileTakesItsLastGigabyteOnly)
{
    {
        std::ofstream out(path, std::ios::binary);
        out << kLineA << "\r\n";
    }
    const auto size = static_cast<off_t>(CallLog::kMaxLoadBytes + (1 << 20));
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << "\r\n" << kLineB << "\r\n";
    }
    RecordingSink sink;
    CallLog log = makeLog();
    log.LogLoad(sink);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Anrufliste " + path.string() +
                               " ist größer als 1 GiB; nur das letzte GiB wird geladen.");
    expectLoaded(sink, {kLineB});
}

} // namespace
