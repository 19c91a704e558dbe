#include "app/ProgramDir.h"
#include "app/QuitSignals.h"
#include "app/SingleInstance.h"

#include "tests/support/ChildProcess.h"

#include <QCoreApplication>
#include <QDir>
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

// The program's own directory when it may be written; otherwise the per-user data
// directory, made private, which stderr names; nothing when that is no directory of ours.
TEST(ProgramDir, OwnDirectoryOrThePerUserDataDirectory)
{
    TempDir tmp;
    const QString root = QString::fromStdString(tmp.path());
    const QString data = root + "/share";
    const QString fallback = data + "/klingelwacht";

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(chooseProgramDir(root, data), root);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(QFile::exists(fallback));

    // A directory nobody may write (for root: one that is not there) is left alone.
    const QString installed = root + "/usr-bin";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(chooseProgramDir(installed, data), fallback);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(fallback.toStdString()), std::string::npos) << said;
    struct stat st = {};
    ASSERT_EQ(::stat(fallback.toLocal8Bit().constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(chooseProgramDir(installed, data), fallback); // there already

    // A link or a file in its place is not used.
    const QString other = root + "/other";
    for (const bool link : {true, false}) {
        ASSERT_TRUE(QDir(fallback).removeRecursively() || QFile::remove(fallback));
        if (link) {
            QDir().mkpath(other);
            ASSERT_TRUE(QFile::link(other, fallback));
        } else {
            QFile f(fallback);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(chooseProgramDir(installed, data), QString());
        EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(chooseProgramDir(installed, QString()), QString());
    EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
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
