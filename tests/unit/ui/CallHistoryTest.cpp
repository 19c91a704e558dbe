#include "ui/CallHistory.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(CallHistory, StartsWithOneEmptyRowAndNoItems)
{
    CallHistory h;
    EXPECT_EQ(h.rowCount(), 1);
    EXPECT_EQ(h.itemCount(), 0);
    for (int c = 0; c < CallHistory::kColumns; ++c)
        EXPECT_EQ(h.cell(0, c), "");
}

TEST(CallHistory, InsertsNewestOnTopAndAppendsItemsInArrivalOrder)
{
    CallHistory h;
    for (const char *l : {"A", "B", "C"}) {
        h.insertTop(l);
        h.appendItem(l);
    }
    EXPECT_EQ(h.rowText(0), "C");
    EXPECT_EQ(h.rowText(1), "B");
    EXPECT_EQ(h.rowText(2), "A");
    EXPECT_EQ(h.rowText(3), ""); // the empty row moved to the bottom
    EXPECT_EQ(h.item(0), "A");
    EXPECT_EQ(h.item(2), "C");
}

TEST(CallHistory, SplitsCellsAtTabs)
{
    CallHistory h;
    h.insertTop("0301\t345\t30.12.2000\t14:05:09");
    EXPECT_EQ(h.cell(0, 0), "0301");
    EXPECT_EQ(h.cell(0, 1), "345");
    EXPECT_EQ(h.cell(0, 2), "30.12.2000");
    EXPECT_EQ(h.cell(0, 3), "14:05:09");
    EXPECT_EQ(h.cell(0, 4), "");
}

TEST(CallHistory, SetHandlingFillsColumnFourOnly)
{
    CallHistory h;
    h.insertTop("0301\t345\td\tt");
    h.appendItem("0301\t345\td\tt");
    h.setHandling(0, "Anrufer hat aufgelegt");
    EXPECT_EQ(h.rowText(0), "0301\t345\td\tt\tAnrufer hat aufgelegt");
    EXPECT_EQ(h.item(0), "0301\t345\td\tt"); // the list item is not the grid's business
}

TEST(CallHistory, RemoveLastTakesTheBottomRow)
{
    CallHistory h;
    h.insertTop("A");
    h.removeLast();
    EXPECT_EQ(h.rowCount(), 1);
    EXPECT_EQ(h.rowText(0), "A");
}

TEST(CallHistory, ReplaceItemChangesOnlyThatItem)
{
    CallHistory h;
    h.appendItem("A");
    h.appendItem("B");
    h.replaceItem(1, "B\tdone");
    EXPECT_EQ(h.item(0), "A");
    EXPECT_EQ(h.item(1), "B\tdone");
}

TEST(CallHistory, KeepsLongLinesWhole)
{
    CallHistory h;
    const std::string longLine(200000, 'x');
    h.insertTop("short");
    h.insertTop(longLine);
    h.insertTop("after");
    EXPECT_EQ(h.rowText(1), longLine);
    EXPECT_EQ(h.rowText(0), "after");
    EXPECT_EQ(h.rowText(2), "short");
}

TEST(CallLineField, CountsFieldsFromZero)
{
    EXPECT_EQ(CallLine::field("a\tb\tc", 0), "a");
    EXPECT_EQ(CallLine::field("a\tb\tc", 2), "c");
    EXPECT_EQ(CallLine::field("a\tb\tc", 3), "");
    EXPECT_EQ(CallLine::field("\tb", 0), "");
    EXPECT_EQ(CallLine::field("\tb", 1), "b");
}

} // namespace
