// The real klingelwacht in a real StatusNotifierItem tray (status-notifier-watcher and
// gtk-sni-tray on a private session bus under Xvfb), driven over D-Bus as a host drives it.
#include "tests/support/CapisimSession.h"

#include <chrono>

#include "tests/desktop/DesktopTest.h"

namespace {

using namespace desktop;
using capisim::Condition;

const std::string kItem = "/StatusNotifierItem";
const std::string kItemInterface = "org.kde.StatusNotifierItem";

class SniTray : public DesktopTest
{
protected:
    CapisimSession sim;
    std::string item;

    void SetUp() override
    {
        DesktopTest::SetUp();
        extraEnv = {"LC_ALL=de_DE.UTF-8"};
    }

    void start(const std::string &scenario)
    {
        sim.startFor(dir.path(), scenario);
        item = startInSniTray();
        ASSERT_FALSE(item.empty());
    }

    /// Calls one of the item's methods as a host does after a click; its exit status.
    int callItem(const char *method, int atX, int atY)
    {
        return busctl({"--timeout=5", "call", item, kItem, kItemInterface, method, "ii",
                       std::to_string(atX), std::to_string(atY)},
                      20s)
            .first;
    }

    QJsonArray property(const char *name)
    {
        return busctl({"get-property", item, kItem, kItemInterface, name})
            .second.value("data")
            .toArray();
    }

    std::string menuPath()
    {
        const auto [status, json] = busctl({"get-property", item, kItem, kItemInterface, "Menu"});
        return json.value("data").toString().toStdString();
    }

    /// The menu's items as the host reads them: label without mnemonic marks, and id.
    std::vector<std::pair<std::string, int>> menuItems()
    {
        const auto [status, json] = busctl({"call", item, menuPath(), "com.canonical.dbusmenu",
                                            "GetLayout", "iias", "0", "--", "-1", "0"});
        EXPECT_EQ(status, 0);
        std::vector<std::pair<std::string, int>> items;
        const QJsonArray root = json.value("data").toArray().at(1).toArray();
        for (const auto &child : root.at(2).toArray()) {
            const QJsonArray node = child.toObject().value("data").toArray();
            const QJsonObject props = node.at(1).toObject();
            if (props.value("type").toObject().value("data").toString() == "separator")
                continue;
            QString label = props.value("label").toObject().value("data").toString();
            label.remove('_');
            items.emplace_back(label.toStdString(), node.at(0).toInt());
        }
        return items;
    }

    /// The host's viewable top-level windows: its bar and, while open, its menu.
    std::vector<Window> hostWindows() const
    {
        std::vector<Window> found;
        for (Window w : x->children(x->root()))
            if (x->pidOf(w) == static_cast<unsigned long>(sniHost.pid()) && x->isViewable(w))
                found.push_back(w);
        return found;
    }

    /// The host's bar along the bottom; the program's icon is its first.
    Rect hostBar() const
    {
        for (Window w : hostWindows())
            if (const Rect r = x->geometry(w); r.height == 32 && r.width > 200)
                return r;
        return {};
    }

    std::optional<Rect> hostMenu() const
    {
        // GTK keeps small helper windows off screen beside the menu.
        for (Window w : hostWindows())
            if (const Rect r = x->geometry(w);
                x->isOverrideRedirect(w) && r.x >= 0 && r.y >= 0 && r.width > 50 && r.height > 30)
                return r;
        return std::nullopt;
    }
};

// The item registers, its tooltip is the call that came in, Activate shows the window and
// SecondaryActivate (a middle click) changes nothing.
TEST_F(SniTray, RegistersShowsTheCallAndActivates)
{
    start("wait-for LISTEN_REQ timeout=30\n"
          "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
          "wait-for ALERT_REQ plci=0x101 timeout=30\n");
    ASSERT_TRUE(sim.waitForEntry(Condition{"ALERT_REQ", {}}, 0, 60s));
    ASSERT_EQ(registeredItems().size(), 1u);

    // ToolTip is (icon name, icon pixmaps, title, text); the title is the call line.
    ASSERT_TRUE(waitUntil([&] {
        return property("ToolTip").at(2).toString().startsWith("03012345\t345\t");
    })) << QJsonDocument(property("ToolTip")).toJson().toStdString();
    EXPECT_EQ(property("ToolTip").at(2).toString().count('\t'), 3);

    EXPECT_EQ(callItem("SecondaryActivate", 10, 10), 0);
    settle();
    EXPECT_FALSE(mainWindowViewable());
    EXPECT_TRUE(openMenus().empty());

    EXPECT_EQ(callItem("Activate", 10, 10), 0);
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    EXPECT_TRUE(openMenus().empty());
}

// A host's ContextMenu call returns at once, and the program's menu then opens where the
// user clicked (Qt hands the item's handler no position: it is the pointer's).
TEST_F(SniTray, ContextMenuReturnsAtOnceAndTheMenuOpens)
{
    start("wait-for LISTEN_REQ timeout=30\n");
    xdotool({"mousemove", "300", "400"});
    const auto before = std::chrono::steady_clock::now();
    // busctl's own time-out is 5 s; a modal menu inside the call held it for 25 s.
    ASSERT_EQ(callItem("ContextMenu", 300, 400), 0) << readFile(dir.path() + "/busctl.err");
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    ASSERT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    const Rect r = x->geometry(openMenus().front());
    EXPECT_NEAR(r.x, 300, 2);
    EXPECT_NEAR(r.y, 400, 2);
    EXPECT_GT(r.width, 50);
    screenshot("sni-context-menu");

    // The program stays responsive: the menu's keys work and a second call returns too.
    xdotool({"key", "Escape"});
    EXPECT_TRUE(waitUntil([&] { return openMenus().empty(); }));
    EXPECT_EQ(callItem("ContextMenu", 300, 400), 0);
    EXPECT_TRUE(waitUntil([&] { return !openMenus().empty(); }));
    xdotool({"key", "Return"}); // the default item: the call list
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
}

// The host draws the exported menu itself; "Beenden" chosen there ends the program in order.
TEST_F(SniTray, ExportedMenuEndsTheProgram)
{
    start("wait-for LISTEN_REQ timeout=30\n");
    ASSERT_TRUE(sim.waitForEntry(Condition{"LISTEN_REQ", {}}, 0, 30s));
    const auto items = menuItems();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].first, "Anrufliste anzeigen");
    EXPECT_EQ(items[1].first, "Einstellungen…");
    EXPECT_EQ(items[2].first, "Beenden");

    busctl({"call", item, menuPath(), "com.canonical.dbusmenu", "Event", "isvu",
            std::to_string(items[2].second), "clicked", "i", "0", "0"});
    ASSERT_EQ(app.wait(15s), 0);
    const std::string log = readFile(binDir / "caller.log");
    EXPECT_NE(log.find("Start\r\n"), std::string::npos) << log;
    EXPECT_TRUE(log.ends_with("Ende\r\n")) << log;
    EXPECT_TRUE(sim.waitForEntry(Condition{"RELEASE", {}}, 0, 5s).has_value());
}

// Real clicks in the host: a left click shows the window; a right click opens the menu the
// host draws from the program's exported menu, and "Beenden" there ends the program.
TEST_F(SniTray, RealClicksInTheHost)
{
    start("wait-for LISTEN_REQ timeout=30\n");
    ASSERT_TRUE(sim.waitForEntry(Condition{"LISTEN_REQ", {}}, 0, 30s));
    Rect bar;
    ASSERT_TRUE(waitUntil([&] { return (bar = hostBar()).width > 0; }));
    const std::string iconX = std::to_string(bar.x + 16), iconY = std::to_string(bar.y + 16);
    // The host adds the icon a moment after the item registered: wait for the red telephone.
    ASSERT_TRUE(waitUntil([&] {
        const QImage shot = screenshot("sni-host-bar");
        for (int dy = 4; dy < 28; ++dy)
            for (int dx = 4; dx < 28; ++dx)
                if (const QColor c = shot.pixelColor(bar.x + dx, bar.y + dy);
                    c.red() > 180 && c.green() < 80)
                    return true;
        return false;
    }));

    xdotool({"mousemove", iconX, iconY, "click", "1"});
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));

    xdotool({"mousemove", iconX, iconY, "click", "3"});
    std::optional<Rect> menu;
    ASSERT_TRUE(waitUntil([&] { return (menu = hostMenu()).has_value(); }));
    settle();
    screenshot("sni-host-menu");
    // "Anrufliste anzeigen", "Einstellungen…", a separator, "Beenden": the last item sits
    // at the bottom, below the menu's own margin.
    xdotool({"mousemove", std::to_string(menu->x + 40), std::to_string(menu->y + menu->height - 14),
             "click", "1"});
    ASSERT_EQ(app.wait(15s), 0);
    EXPECT_TRUE(readFile(binDir / "caller.log").ends_with("Ende\r\n"));
}

// Two calls nobody took put a badge with their count on the icon the host draws and a
// line under the call in the tooltip; showing the call list takes both away.
TEST_F(SniTray, MissedCallsBadgeUntilTheListIsShown)
{
    start("wait-for LISTEN_REQ timeout=30\n"
          "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
          "wait-for ALERT_REQ plci=0x101 timeout=30\n"
          "disconnect plci=0x101 reason=0x3490\n"
          "wait-for DISCONNECT_RESP plci=0x101 timeout=30\n"
          "connect plci=0x102 called=345 calling=3019876 ton=0x21 pi=0x80\n"
          "wait-for ALERT_REQ plci=0x102 timeout=30\n"
          "disconnect plci=0x102 reason=0x3490\n"
          "wait-for DISCONNECT_RESP plci=0x102 timeout=30\n");
    const auto title = [&] { return property("ToolTip").at(2).toString(); };
    ASSERT_TRUE(waitUntil([&] { return title().contains("\n2 verpasste Anrufe, zuletzt "); }, 60s))
        << title().toStdString();
    EXPECT_TRUE(title().startsWith("03019876\t345\t"));

    // The badge is dark blue on the red telephone: look for it where the host drew the icon.
    Rect bar;
    ASSERT_TRUE(waitUntil([&] { return (bar = hostBar()).width > 0; }));
    const auto badgeShown = [&](const char *name) {
        const QImage shot = screenshot(name);
        for (int dy = 0; dy < 32; ++dy)
            for (int dx = 0; dx < 32; ++dx)
                if (const QColor c = shot.pixelColor(bar.x + dx, bar.y + dy);
                    c.blue() > 140 && c.red() < 60 && c.green() < 100)
                    return true;
        return false;
    };
    ASSERT_TRUE(waitUntil([&] { return badgeShown("sni-missed-badge"); }));
    const QJsonArray badged = property("IconPixmap");

    EXPECT_EQ(callItem("Activate", 10, 10), 0);
    ASSERT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
    EXPECT_TRUE(waitUntil([&] { return !title().contains("verpasste"); })) << title().toStdString();
    EXPECT_NE(property("IconPixmap"), badged);
    EXPECT_TRUE(waitUntil([&] { return !badgeShown("sni-no-badge"); }));
}

} // namespace
