// The real klingelwacht in a real XEmbed tray (trayer) on a private Xvfb, driven by xdotool.

#include <QColor>

#include "tests/desktop/DesktopTest.h"

namespace {

using namespace desktop;

class TrayDesktopTest : public DesktopTest
{
};

bool isTelephoneRed(const QColor &c)
{
    return c.red() > 170 && c.green() < 90 && c.blue() < 90;
}

// The icon docks into the tray, shows the red telephone, and the window starts hidden.
TEST_F(TrayDesktopTest, IconIsInTheTrayShowingTheRedTelephone)
{
    startDocked();
    const Rect r = x->geometry(iconWindow());
    waitUntil([] { return false; }, 300ms); // let the icon paint
    const QImage shot = screenshot("tray-icon");
    int red = 0, dial = 0;
    for (int py = r.y; py < r.y + r.height; ++py)
        for (int px = r.x; px < r.x + r.width; ++px) {
            const QColor c = shot.pixelColor(px, py);
            red += isTelephoneRed(c);
            dial += c.red() > 230 && c.green() > 220 && c.blue() > 200;
        }
    EXPECT_GT(red, 60) << "no red telephone in the tray icon's area";
    EXPECT_GT(dial, 2) << "no light dial on the telephone";
    EXPECT_FALSE(mainWindowViewable());
    EXPECT_EQ(readFile(dir.path() + "/kw.err").find("kein Infobereich"), std::string::npos);
}

// With no line configured at all the program says so in its window instead of waiting
// silently in the tray.
TEST_F(TrayDesktopTest, FirstStartShowsTheWindow)
{
    startTrayer();
    startApp(true);
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }))
        << readFile(dir.path() + "/kw.err");
    EXPECT_NE(iconWindow(), 0u);
}

// Resting the pointer on the icon shows the start tooltip.
TEST_F(TrayDesktopTest, HoverShowsTheTooltip)
{
    startDocked();
    const Rect r = x->geometry(iconWindow());
    xdotool({"mousemove", std::to_string(r.centreX() - 3), std::to_string(r.centreY() - 3)});
    xdotool({"mousemove", std::to_string(r.centreX()), std::to_string(r.centreY())});
    ASSERT_TRUE(waitUntil([&] { return !tooltips().empty(); }));
    const Rect tip = x->geometry(tooltips()[0]);
    EXPECT_GT(tip.width, 30);
    EXPECT_GE(tip.y, r.y);
    screenshot("tray-tooltip");
    EXPECT_TRUE(openMenus().empty());
}

TEST_F(TrayDesktopTest, LeftClickShowsTheHiddenWindowNormalAndActive)
{
    startDocked();
    EXPECT_FALSE(mainWindowViewable());
    clickIcon({"click", "1"});
    ASSERT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    const Window w = mainWindow();
    const Rect r = x->geometry(w);
    EXPECT_EQ(r.width, 603);
    EXPECT_EQ(r.height, 217 + 22); // the call list, and the line's status bar below it
    EXPECT_TRUE(waitUntil([&] { return x->focus() == w; }, 3s)) << "the window is not active";
    const auto sizes = x->iconSizes(w);
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), std::pair(16ul, 16ul)), sizes.end());
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), std::pair(32ul, 32ul)), sizes.end());
}

TEST_F(TrayDesktopTest, DoubleClickShowsTheWindow)
{
    startDocked();
    clickIcon({"click", "--repeat", "2", "--delay", "80", "1"});
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    EXPECT_TRUE(openMenus().empty());
}

TEST_F(TrayDesktopTest, MiddleClickChangesNothing)
{
    startDocked();
    clickIcon({"click", "2"});
    settle();
    EXPECT_FALSE(mainWindowViewable());
    EXPECT_TRUE(openMenus().empty());
    EXPECT_TRUE(app.isRunning());
}

// One right click opens one menu; Return chooses the default item "&Anrufliste anzeigen".
TEST_F(TrayDesktopTest, RightClickOpensTheMenuReturnShowsTheList)
{
    startDocked();
    clickIcon({"click", "3"});
    ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    settle();
    ASSERT_EQ(openMenus().size(), 1u);
    const Rect menu = x->geometry(openMenus()[0]);
    const Rect icon = x->geometry(iconWindow());
    // At the pointer: its top at the pointer's height, moved left only as far as the
    // screen's right edge demands.
    EXPECT_NEAR(menu.y, icon.centreY(), 2);
    EXPECT_LE(menu.x, icon.centreX());
    EXPECT_LE(menu.x + menu.width, 1024);
    EXPECT_GE(menu.x + menu.width, std::min(1024, icon.centreX() + 1));
    screenshot("tray-menu");
    EXPECT_FALSE(mainWindowViewable());

    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    EXPECT_TRUE(waitUntil([&] { return openMenus().empty(); }));
    EXPECT_TRUE(app.isRunning());
}

TEST_F(TrayDesktopTest, EscapeClosesTheMenuAndChangesNothing)
{
    startDocked();
    clickIcon({"click", "3"});
    ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    xdotool({"key", "Escape"});
    EXPECT_TRUE(waitUntil([&] { return openMenus().empty(); }));
    settle();
    EXPECT_TRUE(openMenus().empty());
    EXPECT_FALSE(mainWindowViewable());
    EXPECT_TRUE(app.isRunning());
}

// "&Beenden" by its access key: the program unloads, ends and its icon leaves the tray.
TEST_F(TrayDesktopTest, BeendenEndsTheProgramAndRemovesTheIcon)
{
    startDocked();
    const Rect icon = x->geometry(iconWindow());
    clickIcon({"click", "3"});
    ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    xdotool({"type", "b"});
    EXPECT_EQ(app.wait(10s), 0);
    EXPECT_EQ(iconWindow(), 0u);
    waitUntil([] { return false; }, 300ms); // let the tray repaint
    const QImage shot = screenshot("tray-after-beenden");
    int red = 0;
    for (int py = icon.y; py < icon.y + icon.height; ++py)
        for (int px = icon.x; px < icon.x + icon.width; ++px)
            red += isTelephoneRed(shot.pixelColor(px, py));
    EXPECT_EQ(red, 0) << "the telephone is still in the tray";
    const std::string log = readFile(binDir / "caller.log");
    EXPECT_NE(log.find("   Start\r\n"), std::string::npos) << log;
    EXPECT_TRUE(log.ends_with("   Ende\r\n")) << log;
}

// Without a tray the window is shown, the user is told once, and a tray that turns up
// later still gets the icon, which then works.
TEST_F(TrayDesktopTest, WithoutATrayTheWindowStaysShown)
{
    startApp();
    ASSERT_TRUE(waitUntil([&] { return mainWindowViewable(); }))
        << readFile(dir.path() + "/kw.err");
    settle();
    EXPECT_EQ(count(readFile(dir.path() + "/kw.err"),
                    "Klingelwacht: kein Infobereich (System Tray) verfügbar; das Fenster bleibt "
                    "sichtbar.\n"),
              1u);

    startTrayer();
    ASSERT_TRUE(waitUntil([&] { return iconWindow() != 0; }));
    clickIcon({"click", "3"});
    ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    xdotool({"type", "b"});
    EXPECT_EQ(app.wait(10s), 0);
    EXPECT_EQ(count(readFile(dir.path() + "/kw.err"), "kein Infobereich"), 1u);
}

} // namespace
