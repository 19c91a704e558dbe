// The notification adapter against a notification server of the test's own on a private bus.
#include "ui/DesktopNotifier.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/SessionBus.h"
#include "ui/AppIdentity.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QImage>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct NotifyCall
{
    QString appName;
    uint replacesId = 0;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expireMs = -1;
};

/// org.freedesktop.Notifications as a server would offer it; records every Notify and
/// can hold its answers back until the test releases them.
class FakeNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    std::vector<NotifyCall> calls;
    bool holdReplies = false;

    explicit FakeNotificationServer(QDBusConnection bus) : m_bus(bus)
    {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                             QDBusConnection::ExportAllSlots);
        m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    void releaseReplies()
    {
        for (const QDBusMessage &reply : m_held)
            m_bus.send(reply);
        m_held.clear();
    }

    void emitSignal(const char *name, const QVariantList &args)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QString::fromLatin1(name));
        signal.setArguments(args);
        m_bus.send(signal);
    }

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &icon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expireMs)
    {
        calls.push_back({appName, replacesId, icon, summary, body, actions, hints, expireMs});
        const uint id = replacesId ? replacesId : ++m_lastId;
        if (holdReplies) {
            setDelayedReply(true);
            m_held.push_back(message().createReply(id));
        }
        return id;
    }
    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion)
    {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }

private:
    QDBusConnection m_bus;
    std::vector<QDBusMessage> m_held;
    uint m_lastId = 40;
};

template<class Cond> bool spinUntil(Cond cond, std::chrono::milliseconds timeout = 10s)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond() && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return cond();
}

/// Lets D-Bus traffic that may or may not come arrive, before saying it did not.
void spinFor(std::chrono::milliseconds time)
{
    spinUntil([] { return false; }, time);
}

QImage testIcon()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    return image;
}

class DesktopNotifierTest : public ::testing::Test
{
protected:
    SessionBus bus;
    QStringList names;

    QDBusConnection connect()
    {
        // Qt keeps a named connection until it is disconnected: every one a new name.
        static int serial = 0;
        names.push_back(QStringLiteral("kw-test-%1").arg(++serial));
        return QDBusConnection::connectToBus(QString::fromStdString(bus.address()), names.back());
    }

    void TearDown() override
    {
        for (const QString &name : names)
            QDBusConnection::disconnectFromBus(name);
    }
};

TEST_F(DesktopNotifierTest, ArrivalSendsOneNotificationWithTheCallAndTheAppIdentity)
{
    FakeNotificationServer server(connect());
    DesktopNotifier notifier(testIcon(), connect());
    notifier.callArrived(1, "03012345", "345", "14:05:09");
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 1; }));
    spinFor(200ms);
    ASSERT_EQ(server.calls.size(), 1u);
    const NotifyCall &n = server.calls[0];
    EXPECT_EQ(n.appName, "Klingelwacht");
    EXPECT_EQ(n.replacesId, 0u);
    EXPECT_EQ(n.icon, kAppId);
    EXPECT_EQ(n.summary, "03012345");
    EXPECT_EQ(n.body, "Anruf an 345 um 14:05:09");
    EXPECT_EQ(n.actions, (QStringList{"default", "Anzeigen"}));
    EXPECT_EQ(n.hints.value("desktop-entry").toString(), kAppId);
    ASSERT_TRUE(n.hints.contains("image-data"));
    EXPECT_EQ(n.hints.value("image-data").value<QDBusArgument>().currentSignature(), "(iiibiiay)");
    // It stays while the phone rings.
    EXPECT_EQ(n.expireMs, 0);
}

// With the address books: the name as summary, the number (and the place when no name) on
// the body's first line, kept when the clearing replaces the notification.
TEST_F(DesktopNotifierTest, NamedCallerKeepsNumberLineThroughTheClearing)
{
    FakeNotificationServer server(connect());
    DesktopNotifier notifier(testIcon(), connect());
    notifier.callArrivedFrom(1, "0301234567", "345", "14:05:09", {"Anna <A>", "", "030 1234567"});
    notifier.callArrivedFrom(2, "0891234567", "346", "14:05:10", {"", "München", "089 1234567"});
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 2; }));
    spinFor(100ms);
    notifier.callEnded(1, "Angenommen am S0-Bus");
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 3; }));
    EXPECT_EQ(server.calls[0].summary, "Anna <A>");
    EXPECT_EQ(server.calls[0].body, "030 1234567\nAnruf an 345 um 14:05:09");
    EXPECT_EQ(server.calls[1].summary, "0891234567");
    EXPECT_EQ(server.calls[1].body, "089 1234567, München\nAnruf an 346 um 14:05:10");
    EXPECT_EQ(server.calls[2].body, "030 1234567\nAnruf an 345 um 14:05:09\nAngenommen am S0-Bus");
}

// The clearing replaces the call's notification (its id) with one that adds the handling
// and goes after 10 s; overlapping calls keep their own notifications.
TEST_F(DesktopNotifierTest, ClearingReplacesTheCallsOwnNotification)
{
    FakeNotificationServer server(connect());
    DesktopNotifier notifier(testIcon(), connect());
    notifier.callArrived(7, "03012345", "345", "14:05:09");
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 1; }));
    notifier.callArrived(8, "Unbekannt", "346", "14:05:11");
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 2; }));
    spinFor(100ms); // both ids answered

    notifier.callEnded(8, "Anrufer hat aufgelegt");
    notifier.callEnded(7, "Angenommen am S0-Bus");
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 4; }));
    EXPECT_EQ(server.calls[2].replacesId, 42u);
    EXPECT_EQ(server.calls[2].summary, "Unbekannt");
    EXPECT_EQ(server.calls[2].body, "Anruf an 346 um 14:05:11\nAnrufer hat aufgelegt");
    EXPECT_EQ(server.calls[2].expireMs, 10000);
    EXPECT_EQ(server.calls[3].replacesId, 41u);
    EXPECT_EQ(server.calls[3].summary, "03012345");
    EXPECT_EQ(server.calls[3].body, "Anruf an 345 um 14:05:09\nAngenommen am S0-Bus");
    EXPECT_EQ(server.calls[3].actions, (QStringList{"default", "Anzeigen"}));

    // A second clearing of the same call, or one of a call never seen, sends nothing.
    notifier.callEnded(7, "Angenommen am S0-Bus");
    notifier.callEnded(99, "Abbruch durch VSt");
    spinFor(200ms);
    EXPECT_EQ(server.calls.size(), 4u);
}

// A short call can be cleared before the server has told the id: the replacement waits
// for the answer and then replaces that id instead of opening a second notification.
TEST_F(DesktopNotifierTest, ClearingBeforeTheServerAnswersWaitsForTheId)
{
    FakeNotificationServer server(connect());
    server.holdReplies = true;
    DesktopNotifier notifier(testIcon(), connect());
    notifier.callArrived(3, "0301998877", "345", "09:00:00");
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 1; }));
    notifier.callEnded(3, "Abbruch durch VSt");
    spinFor(200ms);
    ASSERT_EQ(server.calls.size(), 1u);

    server.holdReplies = false;
    server.releaseReplies();
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 2; }));
    EXPECT_EQ(server.calls[1].replacesId, 41u);
    EXPECT_EQ(server.calls[1].body, "Anruf an 345 um 09:00:00\nAbbruch durch VSt");
}

// "Anzeigen" on one of the program's notifications, before or after the clearing, shows
// the window; other programs' notifications and other actions do not.
TEST_F(DesktopNotifierTest, DefaultActionOnOwnNotificationRunsTheShowHandler)
{
    FakeNotificationServer server(connect());
    DesktopNotifier notifier(testIcon(), connect());
    int shown = 0;
    notifier.setShowHandler([&] { ++shown; });
    notifier.callArrived(1, "03012345", "345", "14:05:09");
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 1; }));
    spinFor(100ms);

    server.emitSignal("ActionInvoked", {7u, QStringLiteral("default")}); // not ours
    server.emitSignal("ActionInvoked", {41u, QStringLiteral("other")});
    spinFor(200ms);
    EXPECT_EQ(shown, 0);
    server.emitSignal("ActionInvoked", {41u, QStringLiteral("default")});
    ASSERT_TRUE(spinUntil([&] { return shown == 1; }));

    notifier.callEnded(1, "Angenommen am S0-Bus");
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 2; }));
    spinFor(100ms);
    server.emitSignal("ActionInvoked", {41u, QStringLiteral("default")});
    ASSERT_TRUE(spinUntil([&] { return shown == 2; }));

    // Closed, the id may go to another program's notification.
    server.emitSignal("NotificationClosed", {41u, 1u});
    spinFor(100ms);
    server.emitSignal("ActionInvoked", {41u, QStringLiteral("default")});
    spinFor(200ms);
    EXPECT_EQ(shown, 2);
}

TEST_F(DesktopNotifierTest, NotificationTheUserClosedIsNotBroughtBackByTheClearing)
{
    FakeNotificationServer server(connect());
    DesktopNotifier notifier(testIcon(), connect());
    notifier.callArrived(1, "03012345", "345", "14:05:09");
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 1; }));
    spinFor(100ms);
    server.emitSignal("NotificationClosed", {41u, 2u});
    spinFor(100ms);
    notifier.callEnded(1, "Angenommen am S0-Bus");
    spinFor(300ms);
    EXPECT_EQ(server.calls.size(), 1u);
}

// Without a server, the first attempt says so on stderr, once; calls go on being handled.
TEST_F(DesktopNotifierTest, WithoutServerOneLineOnStderr)
{
    testing::internal::CaptureStderr();
    {
        DesktopNotifier notifier(testIcon(), connect());
        spinFor(300ms);
        notifier.callArrived(1, "03012345", "345", "14:05:09");
        notifier.callArrived(2, "Unbekannt", "345", "14:05:10");
        spinFor(300ms);
        notifier.callEnded(1, "Angenommen am S0-Bus");
        notifier.callEnded(2, "Anrufer hat aufgelegt");
        spinFor(300ms);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("Klingelwacht: keine Benachrichtigungen"), std::string::npos) << err;
}

TEST(DesktopNotifierNoBus, WithoutSessionBusOneLineOnStderr)
{
    testing::internal::CaptureStderr();
    {
        DesktopNotifier notifier(
            testIcon(), QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                                      QStringLiteral("kw-test-nobus")));
        notifier.callArrived(1, "03012345", "345", "14:05:09");
        notifier.callEnded(1, "Angenommen am S0-Bus");
        spinFor(300ms);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

struct BodyCase
{
    std::string msn, time;
    std::optional<std::string> handling;
    QString body;
};

// The body may be read as markup: the line's texts stay text.
TEST(DesktopNotifierTexts, BodyCarriesMsnTimeAndHandlingAsText)
{
    const std::vector<BodyCase> cases = {
        {"345", "14:05:09", std::nullopt, "Anruf an 345 um 14:05:09"},
        {"345", "14:05:09", "Übergabe ans Büro", "Anruf an 345 um 14:05:09\nÜbergabe ans Büro"},
        {"<b>1</b>", "a&b", "x<y", "Anruf an &lt;b&gt;1&lt;/b&gt; um a&amp;b\nx&lt;y"},
        {"", "", std::nullopt, "Anruf an  um "},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DesktopNotifier::bodyText(c.msn, c.time, c.handling), c.body) << c.msn;
    EXPECT_EQ(DesktopNotifier::summaryText("Jürgen <Müller>"), "Jürgen <Müller>");
}

} // namespace

#include "DesktopNotifierTest.moc"
