// Desktop notifications of the real klingelwacht: calls through capisim, dunst as the
// notification server on a private session bus, the bus traffic recorded by busctl monitor.
#include "tests/support/CapisimSession.h"
#include "tests/support/RoutersimSession.h"
#include "ui/AppIdentity.h"

#include <QRegularExpression>
#include <map>

#include "tests/desktop/DesktopTest.h"

namespace {

using namespace desktop;
using capisim::Condition;

struct NotifyCall
{
    QJsonArray args; // app name, replaces id, icon, summary, body, actions, hints, expire
    std::optional<unsigned> id; // the server's answer
};

const char *kOneCall = "wait-for LISTEN_REQ timeout=30\n"
                       "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
                       "wait-for ALERT_REQ plci=0x101 timeout=30\n"
                       "sleep 5\n"
                       "disconnect plci=0x101 reason=0x349A\n"
                       "wait-for DISCONNECT_RESP plci=0x101 timeout=30\n";

class Notifications : public DesktopTest
{
protected:
    CapisimSession sim;
    ChildProcess dunst;
    ChildProcess monitor;

    void SetUp() override
    {
        DesktopTest::SetUp();
        extraEnv = {"LC_ALL=de_DE.UTF-8"};
        bus.emplace();
    }

    void TearDown() override
    {
        DesktopTest::TearDown();
        monitor.stop();
        dunst.stop();
    }

    void startDunst()
    {
        dunst.start({"dunst", "-config", "/dev/null"}, env(), "/dev/null",
                    dir.path() + "/dunst.err");
        ASSERT_TRUE(waitUntil([&] {
            return busctl({"status", "org.freedesktop.Notifications"}).first == 0;
        })) << readFile(dir.path() + "/dunst.err");
    }

    /// Records every message to and from the notification server.
    void startMonitor()
    {
        monitor.start(
            {"busctl", "--user", "--json=short", "monitor", "org.freedesktop.Notifications"}, env(),
            dir.path() + "/monitor.json", dir.path() + "/monitor.err");
        ASSERT_TRUE(waitUntil(
            [&] { return readFile(dir.path() + "/monitor.err").find("Monitoring") != npos; }));
    }

    void startCalls(const std::string &scenario)
    {
        sim.startFor(dir.path(), scenario);
        startDocked();
    }

    /// The program's Notify calls in order, each with the id the server answered.
    std::vector<NotifyCall> notifyCalls()
    {
        std::vector<NotifyCall> calls;
        std::map<qint64, std::size_t> byCookie;
        std::istringstream lines(readFile(dir.path() + "/monitor.json"));
        for (std::string line; std::getline(lines, line);) {
            const QJsonObject m = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            const QString type = m.value("type").toString();
            if (type == "method_call" && m.value("member").toString() == "Notify") {
                byCookie[m.value("cookie").toInteger()] = calls.size();
                calls.push_back({m.value("payload").toObject().value("data").toArray(), {}});
            } else if (type == "method_return") {
                const auto it = byCookie.find(m.value("reply_cookie").toInteger());
                if (it != byCookie.end())
                    calls[it->second].id = static_cast<unsigned>(
                        m.value("payload").toObject().value("data").toArray().at(0).toInteger());
            }
        }
        return calls;
    }

    std::string dunstctl(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv{"dunstctl"};
        argv.insert(argv.end(), args.begin(), args.end());
        return output(argv);
    }
    int displayed() { return std::atoi(dunstctl({"count", "displayed"}).c_str()); }

    /// dunst's history, newest first: each notification's fields by name.
    std::vector<std::map<std::string, QJsonValue>> history()
    {
        const QJsonObject json =
            QJsonDocument::fromJson(QByteArray::fromStdString(dunstctl({"history"}))).object();
        std::vector<std::map<std::string, QJsonValue>> out;
        for (const auto &n : json.value("data").toArray().at(0).toArray()) {
            std::map<std::string, QJsonValue> fields;
            const QJsonObject o = n.toObject();
            for (auto it = o.begin(); it != o.end(); ++it)
                fields[it.key().toStdString()] = it.value().toObject().value("data");
            out.push_back(fields);
        }
        return out;
    }

    void writeSettings(const std::string &text)
    {
        std::ofstream(binDir / "klingelwacht.INI") << text;
    }

    static constexpr auto npos = std::string::npos;
};

// A call: one notification with the caller, the MSN and the time, which the clearing
// replaces (the same id) with one that adds the handling and expires after 10 s.
TEST_F(Notifications, OneNotificationPerCallReplacedAtTheClearing)
{
    startDunst();
    startMonitor();
    startCalls(kOneCall);
    ASSERT_TRUE(sim.waitForEntry(Condition{"ALERT_REQ", {}}, 0, 60s));
    ASSERT_TRUE(waitUntil([&] { return displayed() == 1; })) << readFile(dir.path() + "/kw.err");
    if (!sim.waitForEntry(Condition{"DISCONNECT_RESP", {}}, 0, 0s))
        screenshot("notification-ringing");
    ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {}}, 0, 60s));
    ASSERT_TRUE(waitUntil([&] {
        const auto calls = notifyCalls();
        return calls.size() == 2 && calls[1].id;
    })) << notifyCalls().size();
    settle();
    screenshot("notification-cleared");

    const auto calls = notifyCalls();
    ASSERT_EQ(calls.size(), 2u);
    const QJsonArray &ring = calls[0].args;
    ASSERT_EQ(ring.size(), 8);
    EXPECT_EQ(ring.at(0).toString(), "Klingelwacht");
    EXPECT_EQ(ring.at(1).toInteger(), 0);
    EXPECT_EQ(ring.at(2).toString(), kAppId);
    EXPECT_EQ(ring.at(3).toString(), "03012345");
    const QString body = ring.at(4).toString();
    EXPECT_TRUE(QRegularExpression(R"(^Anruf an 345 um \d\d:\d\d:\d\d$)").match(body).hasMatch())
        << body.toStdString();
    EXPECT_EQ(ring.at(5).toArray(), (QJsonArray{"default", "Anzeigen"}));
    const QJsonObject hints = ring.at(6).toObject();
    EXPECT_EQ(hints.value("desktop-entry").toObject().value("data").toString(), kAppId);
    EXPECT_EQ(hints.value("image-data").toObject().value("type").toString(), "(iiibiiay)");
    ASSERT_TRUE(calls[0].id);

    const QJsonArray &end = calls[1].args;
    EXPECT_EQ(end.at(1).toInteger(), *calls[0].id);
    EXPECT_EQ(end.at(3).toString(), "03012345");
    EXPECT_EQ(end.at(4).toString(), body + "\nAngenommen am S0-Bus");
    EXPECT_EQ(end.at(7).toInt(), 10000);
    EXPECT_EQ(*calls[1].id, *calls[0].id);

    // The server shows one notification, and after 10 s it has gone into the history.
    EXPECT_EQ(displayed(), 1);
    ASSERT_TRUE(waitUntil([&] { return displayed() == 0; }, 30s));
    const auto past = history();
    ASSERT_EQ(past.size(), 1u);
    EXPECT_EQ(past[0].at("appname").toString(), "Klingelwacht");
    EXPECT_EQ(past[0].at("summary").toString(), "03012345");
    EXPECT_EQ(past[0].at("body").toString(), body + "\nAngenommen am S0-Bus");
    EXPECT_EQ(past[0].at("id").toInteger(), *calls[0].id);
}

// "Anzeigen", the notification's default action, brings the call list up.
TEST_F(Notifications, DefaultActionShowsTheCallList)
{
    startDunst();
    startCalls("wait-for LISTEN_REQ timeout=30\n"
               "connect plci=0x101 called=345 calling=3012345 ton=0x21 pi=0x80\n"
               "wait-for ALERT_REQ plci=0x101 timeout=30\n");
    ASSERT_TRUE(sim.waitForEntry(Condition{"ALERT_REQ", {}}, 0, 60s));
    ASSERT_TRUE(waitUntil([&] { return displayed() == 1; }));
    EXPECT_FALSE(mainWindowViewable());
    dunstctl({"action", "0"});
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
}

TEST_F(Notifications, SwitchedOffInTheSettingsNoneIsSent)
{
    writeSettings("[Setup]\r\nBenachrichtigung=0\r\n");
    startDunst();
    startMonitor();
    startCalls(kOneCall);
    ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {}}, 0, 60s));
    settle();
    EXPECT_EQ(notifyCalls().size(), 0u);
    EXPECT_EQ(displayed(), 0);
    EXPECT_EQ(history().size(), 0u);
    EXPECT_EQ(readFile(dir.path() + "/kw.err").find("Benachrichtigung"), npos);
}

// No notification server: one line on stderr, and the calls are handled as ever.
TEST_F(Notifications, WithoutServerOneLineAndTheProgramGoesOn)
{
    startCalls(kOneCall);
    ASSERT_TRUE(sim.waitForEntry(Condition{"DISCONNECT_RESP", {}}, 0, 60s));
    ASSERT_TRUE(waitUntil(
        [&] { return readFile(binDir / "caller.log").find("Angenommen am S0-Bus") != npos; }));
    const std::string err = readFile(dir.path() + "/kw.err");
    EXPECT_EQ(count(err, "Klingelwacht: keine Benachrichtigungen"), 1u) << err;
    clickIcon({"click", "1"});
    EXPECT_TRUE(waitUntil([&] { return mainWindowViewable(); }));
}

// A call monitor that refuses: after the start's grace the StatusNotifierItem shows the
// greyed telephone and says why; after a minute down one notification tells it, and when
// the router answers that notification becomes "Wieder verbunden" and the icon red again.
TEST_F(Notifications, LineDownShowsInTheTrayAndIsToldOnce)
{
    // A port where nothing listens now, for the router to answer on later.
    RoutersimSession router;
    router.start("sleep 1\n");
    const int port = router.port();
    router.stop();
    const std::string where = "127.0.0.1:" + std::to_string(port);
    writeSettings("[Anrufmonitor]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(port) + "\r\n");
    startSniHost(); // a bus of its own, which dunst and the monitor then share
    startDunst();
    startMonitor();
    startApp();
    std::string item;
    ASSERT_TRUE(waitUntil([&] {
        const auto items = registeredItems();
        return !items.empty() && !(item = items[0].substr(0, items[0].find('/'))).empty();
    })) << readFile(dir.path() + "/kw.err");
    const auto property = [&](const char *name) {
        return busctl({"get-property", item, "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                       name})
            .second.value("data")
            .toArray();
    };
    // The pixmaps' count of strongly red pixels (ARGB, network order): the red telephone's.
    const auto redPixels = [&] {
        int red = 0;
        for (const auto &pixmap : property("IconPixmap")) {
            const QJsonArray bytes = pixmap.toArray().at(2).toArray();
            for (qsizetype i = 0; i + 3 < bytes.size(); i += 4)
                red += bytes.at(i).toInt() > 128 && bytes.at(i + 1).toInt() > 180 &&
                       bytes.at(i + 2).toInt() < 80;
        }
        return red;
    };
    const QString downTip =
        QString::fromStdString("<Keine Verbindung zum Anrufmonitor (" + where + ")>");
    ASSERT_TRUE(waitUntil([&] { return property("ToolTip").at(2).toString() == downTip; }, 40s))
        << QJsonDocument(property("ToolTip")).toJson().toStdString();
    EXPECT_EQ(redPixels(), 0);

    // Ten seconds of grace and sixty down.
    ASSERT_TRUE(waitUntil([&] { return notifyCalls().size() == 1 && notifyCalls()[0].id; }, 100s))
        << readFile(dir.path() + "/kw.err");
    const NotifyCall down = notifyCalls()[0];
    EXPECT_EQ(down.args.at(3).toString(), "Klingelwacht hört keine Anrufe");
    EXPECT_EQ(down.args.at(4).toString(), downTip.mid(1, downTip.size() - 2));
    EXPECT_EQ(displayed(), 1);

    router.startOn(port, "wait-for-client\nsleep 120\n");
    // The next attempt comes at most a minute later.
    ASSERT_TRUE(waitUntil([&] { return notifyCalls().size() == 2; }, 90s));
    const NotifyCall back = notifyCalls()[1];
    EXPECT_EQ(back.args.at(1).toInteger(), *down.id);
    EXPECT_EQ(back.args.at(3).toString(), "Wieder verbunden");
    EXPECT_EQ(back.args.at(4).toString(), QString::fromStdString("Anrufmonitor " + where));
    EXPECT_TRUE(waitUntil([&] { return property("ToolTip").at(2).toString() == "<Kein Anruf>"; }));
    EXPECT_GT(redPixels(), 0);
    settle();
    EXPECT_EQ(notifyCalls().size(), 2u);
}

} // namespace
