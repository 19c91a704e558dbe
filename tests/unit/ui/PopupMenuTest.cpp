#include "ui/PopupMenu.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

TEST(PopupMenu, ItemsInOrderWithExactCaptions)
{
    PopupMenu menu;
    EXPECT_EQ(menu.objectName(), "mnuPopUp");
    EXPECT_EQ(menu.title(), "PopUp");
    const QList<QAction *> items = menu.actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->objectName(), "mnuAnzeigen");
    EXPECT_EQ(items[0]->text(), "&Anrufliste anzeigen");
    EXPECT_FALSE(items[0]->isSeparator());
    EXPECT_EQ(items[1]->objectName(), "mnuEinstellungen");
    EXPECT_EQ(items[1]->text(), "&Einstellungen…");
    EXPECT_EQ(items[2]->objectName(), "mnuSep");
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->objectName(), "mnuBeenden");
    EXPECT_EQ(items[3]->text(), "&Beenden");
    EXPECT_EQ(items[0], menu.mnuAnzeigen());
    EXPECT_EQ(items[1], menu.mnuEinstellungen());
    EXPECT_EQ(items[2], menu.mnuSep());
    EXPECT_EQ(items[3], menu.mnuBeenden());
}

TEST(PopupMenu, FirstItemIsTheBoldDefault)
{
    PopupMenu menu;
    EXPECT_EQ(menu.defaultAction(), menu.mnuAnzeigen());
    EXPECT_TRUE(menu.mnuAnzeigen()->font().bold());
    EXPECT_FALSE(menu.mnuBeenden()->font().bold());
}

// Return chooses the default item: it is the active one as soon as the menu shows.
TEST(PopupMenu, OpensWithTheDefaultItemActive)
{
    PopupMenu menu;
    menu.popup(QPoint(10, 10));
    EXPECT_EQ(menu.activeAction(), menu.mnuAnzeigen());
    menu.hide();
}

// popUpAt returns at once with the menu open at pos (a tray host may be waiting for the
// call that asked for it); the chosen item's handler runs from the event loop later.
TEST(PopupMenu, PopUpAtReturnsAtOnceWithTheMenuOpen)
{
    PopupMenu menu;
    int beenden = 0;
    QObject::connect(menu.mnuBeenden(), &QAction::triggered, &menu, [&] { ++beenden; });
    menu.popUpAt(QPoint(20, 30));
    ASSERT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), QPoint(20, 30));
    EXPECT_EQ(beenden, 0);
    menu.mnuBeenden()->trigger();
    EXPECT_EQ(beenden, 1);
    menu.hide();
}

// An XEmbed icon pops its context menu itself before it reports the right click; the
// report must not open it a second time.
TEST(PopupMenu, PopUpAtLeavesAnOpenMenuAlone)
{
    PopupMenu menu;
    int shown = 0;
    QObject::connect(&menu, &QMenu::aboutToShow, &menu, [&] { ++shown; });
    menu.popup(QPoint(10, 10));
    ASSERT_TRUE(menu.isVisible());
    menu.popUpAt(QPoint(50, 50));
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
}

} // namespace
