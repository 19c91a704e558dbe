// The tray's mouse message codes as the window handles them.
#include "app/frmCapi.h"
#include "app/modCapi.h"
#include "tests/fakes/FakeCapi.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeKeyboard.h"
#include "tests/fakes/FakeTray.h"
#include "tests/support/TempDir.h"
#include "ui/QtSystemTray.h"
#include "ui/TrayRecord.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSystemTrayIcon>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>

namespace {

struct CodeCase
{
    int code;
    bool restores;
    bool opensMenu;
};

void PrintTo(const CodeCase &c, std::ostream *os)
{
    *os << "0x" << std::hex << c.code;
}

// Every code the tray can send; only these three do anything.
const CodeCase kCodes[] = {
    {0x200, false, false}, {0x201, true, false},  {0x202, false, false}, {0x203, true, false},
    {0x204, false, true},  {0x205, false, false}, {0x206, false, false}, {0x207, false, false},
    {0x208, false, false}, {0x209, false, false},
};

class TrayMouseTest : public ::testing::Test
{
protected:
    FakeCapi capi;
    FakeKeyboard keyboard;
    FakeClock clock;
    modCapi data;
    TempDir dir;
    std::filesystem::path oldCwd = std::filesystem::current_path();

    void TearDown() override { std::filesystem::current_path(oldCwd); }

    Platform platform(Tray &tray)
    {
        Platform p{
            capi, tray, keyboard, clock, dir.path(), "klingelwacht", [](const std::string &) {}};
        p.capiMode = CapiWorker::Mode::Manual;
        return p;
    }
};

class TrayCodeTest : public TrayMouseTest, public ::testing::WithParamInterface<CodeCase>
{
};

TEST_P(TrayCodeTest, HiddenWindowReactsOnlyToItsCodes)
{
    const CodeCase c = GetParam();
    FakeTray tray;
    frmCapi w(data, platform(tray));
    std::vector<QPoint> opened;
    w.setPopupOpener([&](const QPoint &pos) { opened.push_back(pos); });
    w.setWindowState(Qt::WindowMinimized);
    w.hide();

    ASSERT_TRUE(tray.callback);
    tray.callback(c.code);

    EXPECT_EQ(w.isVisible(), c.restores) << std::hex << c.code;
    if (c.restores) {
        EXPECT_FALSE(w.windowState() & Qt::WindowMinimized);
    }
    EXPECT_EQ(opened.size(), c.opensMenu ? 1u : 0u) << std::hex << c.code;
}

INSTANTIATE_TEST_SUITE_P(EveryCode, TrayCodeTest, ::testing::ValuesIn(kCodes), [](const auto &tc) {
    return "Code" + QString::number(tc.param.code, 16).toStdString();
});

TEST_F(TrayMouseTest, MenuOpensAtThePointer)
{
    FakeTray tray;
    frmCapi w(data, platform(tray));
    std::vector<QPoint> opened;
    w.setPopupOpener([&](const QPoint &pos) { opened.push_back(pos); });
    QCursor::setPos(QPoint(40, 30));
    w.Picture1_MouseMove(Tray::RightButtonDown);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QCursor::pos());
}

// Activations reach the window through the real adapter.
TEST_F(TrayMouseTest, ActivationsThroughTheAdapter)
{
    QtSystemTray tray{QIcon()};
    frmCapi w(data, platform(tray));
    int menus = 0;
    w.setPopupOpener([&](const QPoint &) { ++menus; });
    tray.add(data.tray);
    auto *icon = tray.findChild<QSystemTrayIcon *>();
    ASSERT_NE(icon, nullptr);

    emit icon->activated(QSystemTrayIcon::MiddleClick);
    emit icon->activated(QSystemTrayIcon::Unknown);
    QCoreApplication::processEvents(); // the adapter hands activations on from the loop
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(menus, 0);

    emit icon->activated(QSystemTrayIcon::Context);
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(menus, 1);

    emit icon->activated(QSystemTrayIcon::Trigger);
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(menus, 1);
}

// A double click arrives as Trigger then DoubleClick; each restores the window on its own.
TEST_F(TrayMouseTest, DoubleClickRestoresTwice)
{
    QtSystemTray tray{QIcon()};
    frmCapi w(data, platform(tray));
    tray.add(data.tray);
    auto *icon = tray.findChild<QSystemTrayIcon *>();
    ASSERT_NE(icon, nullptr);
    int shows = 0;
    struct ShowCounter : QObject
    {
        int &count;
        explicit ShowCounter(int &c) : count(c) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Show)
                ++count;
            return false;
        }
    } counter(shows);
    w.installEventFilter(&counter);

    emit icon->activated(QSystemTrayIcon::Trigger);
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
    w.hide(); // so that the second restore shows up as a second Show event
    emit icon->activated(QSystemTrayIcon::DoubleClick);
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(shows, 2);
    w.removeEventFilter(&counter);
}

TEST_F(TrayMouseTest, MenuItemsRunTheirHandlers)
{
    FakeTray tray;
    frmCapi w(data, platform(tray));
    w.Form_Load();
    w.hide();
    w.findChild<QAction *>("mnuAnzeigen")->trigger();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isUnloaded());
    w.findChild<QAction *>("mnuBeenden")->trigger();
    EXPECT_TRUE(w.isUnloaded());
    EXPECT_EQ(tray.calls.back(), "remove");
}

} // namespace
