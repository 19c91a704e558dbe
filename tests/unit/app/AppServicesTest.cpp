#include "QuitSignals.h"
#include "SingleInstance.h"

#include "ChildProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool processEventsUntil(const std::function<bool()> &cond)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return cond();
}

TEST(SingleInstance, SecondClaimForTheSameDirectoryFailsAndAsksTheFirstToShow)
{
    TempDir dir;
    SingleInstance first(QString::fromStdString(dir.path()));
    int shows = 0;
    first.setShowRequestHandler([&] { ++shows; });
    ASSERT_EQ(first.claim(), SingleInstance::Claim::First);

    SingleInstance second(QString::fromStdString(dir.path()));
    EXPECT_EQ(second.claim(), SingleInstance::Claim::Second);
    EXPECT_TRUE(processEventsUntil([&] { return shows == 1; }));
}

TEST(SingleInstance, OtherDirectoriesRunSideBySide)
{
    TempDir a;
    TempDir b;
    SingleInstance first(QString::fromStdString(a.path()));
    SingleInstance second(QString::fromStdString(b.path()));
    EXPECT_EQ(first.claim(), SingleInstance::Claim::First);
    EXPECT_EQ(second.claim(), SingleInstance::Claim::First);
}

TEST(SingleInstance, TheDirectoryIsFreeAgainWhenTheFirstEnds)
{
    TempDir dir;
    {
        SingleInstance first(QString::fromStdString(dir.path()));
        ASSERT_EQ(first.claim(), SingleInstance::Claim::First);
    }
    SingleInstance next(QString::fromStdString(dir.path()));
    EXPECT_EQ(next.claim(), SingleInstance::Claim::First);
}

// The lock is private and a link in its place is refused: then the program does not run.
TEST(SingleInstance, LockFileIsPrivateAndALinkInItsPlaceStopsTheStart)
{
    TempDir dir;
    {
        SingleInstance first(QString::fromStdString(dir.path()));
        ASSERT_EQ(first.claim(), SingleInstance::Claim::First);
        struct stat st = {};
        ASSERT_EQ(::stat(first.lockPath().toLocal8Bit().constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_TRUE(first.serverName().startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR")));
    }
    TempDir other;
    const std::string lock = dir.path() + "/klingelwacht.lock";
    ASSERT_EQ(::unlink(lock.c_str()), 0);
    ASSERT_EQ(::symlink((other.path() + "/target").c_str(), lock.c_str()), 0);
    SingleInstance second(QString::fromStdString(dir.path()));
    EXPECT_EQ(second.claim(), SingleInstance::Claim::NoLock);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(other.path() + "/target")));
}

class QuitSignalsTest : public ::testing::TestWithParam<int>
{
};

TEST_P(QuitSignalsTest, SignalBecomesOneQuitOnTheEventLoop)
{
    int quits = 0;
    QuitSignals quitSignals([&] { ++quits; });
    std::raise(GetParam());
    EXPECT_EQ(quits, 0); // nothing runs inside the signal handler
    EXPECT_TRUE(processEventsUntil([&] { return quits == 1; }));
}

INSTANTIATE_TEST_SUITE_P(Signals, QuitSignalsTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

} // namespace
