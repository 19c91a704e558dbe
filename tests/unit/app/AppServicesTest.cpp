#include "QuitSignals.h"
#include "SingleInstance.h"

#include "ChildProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <gtest/gtest.h>

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
    ASSERT_TRUE(first.claim());

    SingleInstance second(QString::fromStdString(dir.path()));
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(processEventsUntil([&] { return shows == 1; }));
}

TEST(SingleInstance, OtherDirectoriesRunSideBySide)
{
    TempDir a;
    TempDir b;
    SingleInstance first(QString::fromStdString(a.path()));
    SingleInstance second(QString::fromStdString(b.path()));
    EXPECT_TRUE(first.claim());
    EXPECT_TRUE(second.claim());
}

TEST(SingleInstance, TheDirectoryIsFreeAgainWhenTheFirstEnds)
{
    TempDir dir;
    {
        SingleInstance first(QString::fromStdString(dir.path()));
        ASSERT_TRUE(first.claim());
    }
    SingleInstance next(QString::fromStdString(dir.path()));
    EXPECT_TRUE(next.claim());
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
