// The tooltip and messages through the QSystemTrayIcon adapter.
#include "ui/QtSystemTray.h"

#include "ui/PopupMenu.h"
#include "ui/TrayRecord.h"
#include "ui/icons/AppIcon.h"

#include <QCoreApplication>
#include <QImage>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

QSystemTrayIcon *iconOf(QtSystemTray &tray)
{
    return tray.findChild<QSystemTrayIcon *>();
}

TEST(QtSystemTrayCodes, ActivationReasonsMapToMouseCodes)
{
    EXPECT_EQ(QtSystemTray::mouseCode(QSystemTrayIcon::Trigger), 0x201);
    EXPECT_EQ(QtSystemTray::mouseCode(QSystemTrayIcon::DoubleClick), 0x203);
    EXPECT_EQ(QtSystemTray::mouseCode(QSystemTrayIcon::Context), 0x204);
    EXPECT_EQ(QtSystemTray::mouseCode(QSystemTrayIcon::MiddleClick), 0x207);
    EXPECT_EQ(QtSystemTray::mouseCode(QSystemTrayIcon::Unknown), std::nullopt);
}

TEST(QtSystemTray, AddShowsTheStartTooltip)
{
    QtSystemTray tray{appIcon()};
    TrayRecord record;
    record.setTip("<Kein Anruf>");
    EXPECT_EQ(iconOf(tray), nullptr);
    tray.add(record);
    ASSERT_NE(iconOf(tray), nullptr);
    EXPECT_EQ(iconOf(tray)->toolTip(), "<Kein Anruf>");
    EXPECT_TRUE(iconOf(tray)->isVisible());
}

// A call line keeps its TABs and umlauts and is cut after 63 characters, not bytes.
TEST(QtSystemTray, ModifyTakesTheCallLineCutTo63Characters)
{
    QtSystemTray tray{appIcon()};
    TrayRecord record;
    record.setTip("<Kein Anruf>");
    tray.add(record);

    record.setTip("0301234567\t0815\t30.12.2000\t14:05:09");
    tray.modify(record);
    EXPECT_EQ(iconOf(tray)->toolTip(), "0301234567\t0815\t30.12.2000\t14:05:09");

    const std::string line =
        "Jürgen Müller-Lüdenscheidt\t4711\t30.12.2000\t14:05:09\tÜbergabe ans Büro";
    record.setTip(line);
    tray.modify(record);
    const QString full = QString::fromStdString(line);
    ASSERT_GT(full.size(), 63);
    EXPECT_EQ(iconOf(tray)->toolTip(), full.left(63));
    EXPECT_EQ(iconOf(tray)->toolTip().count('\t'), 4);
}

// Whatever comes from the line is shown as its characters: the label's markup, read back,
// is the text itself, and Qt takes it for markup (so it does not guess the format itself).
TEST(QtSystemTray, LiteralToolTipShowsMarkupAsCharacters)
{
    for (const QString &text :
         {QStringLiteral("<Kein Anruf>"), QStringLiteral("<img src=/dev/zero>\t345"),
          QStringLiteral("<b>x</b>\t345\t30.12.2000\t14:05:09"), QStringLiteral("a &amp; b  c"),
          QStringLiteral("\"quoted\" 'single' ü"), QStringLiteral("")}) {
        SCOPED_TRACE(text.toStdString());
        const QString markup = QtSystemTray::literalToolTip(text);
        EXPECT_TRUE(Qt::mightBeRichText(markup));
        EXPECT_FALSE(markup.contains(QStringLiteral("<img")));
        EXPECT_FALSE(markup.contains(QStringLiteral("<b>")));
        QTextDocument doc;
        doc.setHtml(markup);
        EXPECT_EQ(doc.toPlainText(), text);
    }
}

TEST(QtSystemTray, ModifyBeforeAddAndRemoveAfterAreHarmless)
{
    QtSystemTray tray{appIcon()};
    TrayRecord record;
    tray.modify(record);
    tray.remove(record);
    EXPECT_EQ(iconOf(tray), nullptr);
    EXPECT_FALSE(tray.isIconShown());
    tray.add(record);
    tray.remove(record);
    EXPECT_FALSE(iconOf(tray)->isVisible());
    EXPECT_FALSE(tray.isIconShown());
}

// The offscreen platform has no tray: the icon is not shown, whatever was asked.
TEST(QtSystemTray, NoTrayMeansNoIconShown)
{
    QtSystemTray tray{appIcon()};
    tray.add(TrayRecord{});
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    EXPECT_FALSE(tray.isIconShown());
}

// Without a tray there is no balloon, and nothing of its own on stderr: the log's notice
// says it once there.
TEST(QtSystemTray, MessageWithoutATrayAddsNothingToStderr)
{
    QtSystemTray tray{appIcon()};
    tray.add(TrayRecord{});
    testing::internal::CaptureStderr();
    tray.showMessage("Klingelwacht", "caller.log kann nicht geschrieben werden");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(QtSystemTray, ContextMenuIsHandedToTheIcon)
{
    PopupMenu menu;
    QtSystemTray tray{appIcon()};
    tray.setContextMenu(&menu);
    tray.add(TrayRecord{});
    EXPECT_EQ(iconOf(tray)->contextMenu(), &menu);

    PopupMenu other;
    tray.setContextMenu(&other);
    EXPECT_EQ(iconOf(tray)->contextMenu(), &other);
}

// A tray host's D-Bus call emits the activation and waits for its reply: the handler (which
// may open the menu) runs from the event loop after the call has returned.
TEST(QtSystemTray, ActivationReachesTheCallbackAfterTheCallReturns)
{
    QtSystemTray tray{appIcon()};
    tray.add(TrayRecord{});
    std::vector<int> codes;
    tray.setCallback([&](int code) { codes.push_back(code); });
    emit iconOf(tray)->activated(QSystemTrayIcon::Context);
    emit iconOf(tray)->activated(QSystemTrayIcon::Unknown);
    emit iconOf(tray)->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(codes.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(codes, (std::vector<int>{Tray::RightButtonDown, Tray::LeftButtonDown}));
}

TEST(AppIcon, HasBothSizes)
{
    const QIcon icon = appIcon();
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    const QImage small = icon.pixmap(QSize(16, 16)).toImage();
    ASSERT_EQ(small.size(), QSize(16, 16));
    // The body below the dial is red and the corners are transparent.
    const QColor body = small.pixelColor(4, 12);
    EXPECT_GT(body.red(), 180);
    EXPECT_LT(body.green(), 80);
    EXPECT_EQ(small.pixelColor(0, 15).alpha(), 0);
}

} // namespace

namespace {

QImage at32(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The badge sits on every size of the icon, shows up to "9+", and goes with the count;
// the tooltip carries the missed line under the call, which keeps its cut.
TEST(QtSystemTray, MissedCallsBadgeAndTooltipLine)
{
    const QIcon base = appIcon();
    EXPECT_EQ(at32(QtSystemTray::withBadge(base, 0)), at32(base));
    const QIcon three = QtSystemTray::withBadge(base, 3);
    EXPECT_NE(at32(three), at32(base));
    EXPECT_EQ(at32(three).pixelColor(2, 2), at32(base).pixelColor(2, 2)); // top left untouched
    EXPECT_EQ(at32(QtSystemTray::withBadge(base, 10)), at32(QtSystemTray::withBadge(base, 57)));
    EXPECT_NE(at32(QtSystemTray::withBadge(base, 10)), at32(QtSystemTray::withBadge(base, 9)));

    QtSystemTray tray{base};
    TrayRecord record;
    record.setTip(std::string(70, 'a'));
    tray.add(record);
    record.addMissed("10:15");
    tray.modify(record);
    EXPECT_EQ(iconOf(tray)->toolTip(), QString(63, 'a') + "\n1 verpasster Anruf, zuletzt 10:15");
    EXPECT_EQ(at32(iconOf(tray)->icon()), at32(QtSystemTray::withBadge(base, 1)));
    record.clearMissed();
    tray.modify(record);
    EXPECT_EQ(iconOf(tray)->toolTip(), QString(63, 'a'));
    EXPECT_EQ(at32(iconOf(tray)->icon()), at32(base));
}

} // namespace
