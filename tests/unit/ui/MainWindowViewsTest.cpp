#include "ui/MainWindowViews.h"

#include "ui/CallGridModel.h"

#include <QApplication>
#include <QLabel>
#include <QTableView>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

class MainWindowViewsTest : public ::testing::Test
{
protected:
    QWidget window;
    MainWindowViews views{window};

    /// The grid's cell that shows field of a call's row (the name column sits after field 0).
    QString cell(int gridRow, int field)
    {
        return views.model()
            .data(views.model().index(gridRow - 1, CallGridModel::columnOfField(field)))
            .toString();
    }
};

TEST_F(MainWindowViewsTest, HeaderTextsAfterSetup)
{
    views.SetupCallGrid();
    const QStringList expected{"Anrufer", "Name", "MSN", "Datum", "Zeit", "Rufbehandlung"};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(views.model().headerData(c, Qt::Horizontal).toString(), expected[c]);
}

TEST_F(MainWindowViewsTest, ColumnWidthsAtTheGridsWidth)
{
    ASSERT_DOUBLE_EQ(views.twipsPerPixel(), 15.0);
    views.SetupCallGrid();
    const int expected[] = {1409, 1761, 704, 1321, 1057, 2289};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(views.columnWidthTwips(c), expected[c]) << c;
}

TEST(GridColumnWidth, RoundsHalfToEven)
{
    EXPECT_EQ(gridColumnWidthTwips(7005.0f, 0.15), 1051);
    EXPECT_EQ(gridColumnWidthTwips(10.0f, 0.25), 2); // 2.5
    EXPECT_EQ(gridColumnWidthTwips(14.0f, 0.25), 4); // 3.5
    EXPECT_EQ(gridColumnWidthTwips(7005.0f, 0.32), 2242);
}

TEST_F(MainWindowViewsTest, AlignmentsOnlyForTheFirstTwoColumns)
{
    views.SetupCallGrid();
    views.GridInsertTop("0301\t345\t30.12.2000\t14:05:09\t17");
    auto align = [&](int field) {
        return views.model()
            .data(views.model().index(0, CallGridModel::columnOfField(field)),
                  Qt::TextAlignmentRole)
            .value<Qt::Alignment>();
    };
    EXPECT_EQ(align(0), Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(align(1), Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_EQ(align(2), Qt::AlignLeft | Qt::AlignVCenter);  // text: general alignment
    EXPECT_EQ(align(4), Qt::AlignRight | Qt::AlignVCenter); // a number: general alignment
}

TEST_F(MainWindowViewsTest, RowsAndListInArrivalOrder)
{
    for (const char *l : {"A", "B", "C"}) {
        views.GridInsertTop(l);
        views.ListAppendLine(l);
    }
    EXPECT_EQ(views.GridRowCount(), 5); // header, C, B, A, empty row
    EXPECT_EQ(cell(1, 0), "C");
    EXPECT_EQ(cell(2, 0), "B");
    EXPECT_EQ(cell(3, 0), "A");
    EXPECT_EQ(views.model().history().item(0), "A");
    EXPECT_EQ(views.model().history().item(2), "C");
}

// A long cell of an edited log shows its first characters and an ellipsis; umlauts count
// as one character each.
TEST_F(MainWindowViewsTest, LongCellsAreCutForDisplay)
{
    const QString ellipsis(QChar(0x2026));
    std::string umlauts;
    for (int i = 0; i < 300; ++i)
        umlauts += "\xc3\xbc";
    views.GridInsertTop(std::string(256, 'a') + "\t" + std::string(257, 'b') + "\t" + umlauts +
                        "\t" + std::string(4096, 'd'));
    EXPECT_EQ(cell(1, 0), QString(256, 'a'));
    EXPECT_EQ(cell(1, 1), QString(255, 'b') + ellipsis);
    EXPECT_EQ(cell(1, 2), QString(255, QChar(0xfc)) + ellipsis);
    EXPECT_EQ(cell(1, 3), QString(255, 'd') + ellipsis);
    EXPECT_EQ(views.model().history().rowText(0).size(), 256u + 257u + 600u + 4096u + 3u);
}

TEST_F(MainWindowViewsTest, FourFieldsLeaveColumnFourEmptyUntilHandlingIsSet)
{
    views.GridInsertTop("0301\t345\t30.12.2000\t14:05:09");
    EXPECT_EQ(cell(1, 3), "14:05:09");
    EXPECT_EQ(cell(1, 4), "");
    views.GridSetHandling(1, "Angenommen am S0-Bus");
    EXPECT_EQ(cell(1, 4), "Angenommen am S0-Bus");
}

TEST_F(MainWindowViewsTest, RemoveLastTakesTheEmptyRow)
{
    views.GridInsertTop("A");
    ASSERT_EQ(views.GridRowCount(), 3);
    views.GridRemoveLast();
    EXPECT_EQ(views.GridRowCount(), 2);
    EXPECT_EQ(cell(1, 0), "A");
}

TEST_F(MainWindowViewsTest, CounterLabel)
{
    EXPECT_EQ(views.Label1().text(), "Anrufe seit dem letzten Start:");
    views.ShowCallCount(0);
    EXPECT_EQ(views.Label1().text(), "Anrufe seit dem letzten Start: 0");
    views.ShowCallCount(100000);
    EXPECT_EQ(views.Label1().text(), "Anrufe seit dem letzten Start: 100000");
}

TEST_F(MainWindowViewsTest, BulkInsertShowsAllRowsAfterwards)
{
    views.beginBulkInsert();
    for (int i = 0; i < 1000; ++i)
        views.GridInsertTop(std::to_string(i));
    views.endBulkInsert();
    EXPECT_EQ(views.model().rowCount(), 1001);
    EXPECT_EQ(cell(1, 0), "999");
}

TEST_F(MainWindowViewsTest, LayoutInTwips)
{
    EXPECT_EQ(window.width(), 603);
    EXPECT_EQ(window.height(), 217);
    EXPECT_EQ(views.grdAnrufe().geometry(), QRect(8, 63, 587, 145));
    EXPECT_EQ(views.grdAnrufe().objectName(), "grdAnrufe");
    EXPECT_EQ(views.Label1().objectName(), "Label1");
}

TEST_F(MainWindowViewsTest, RestoreWindowShowsAHiddenWindowNormal)
{
    window.showMinimized();
    window.hide();
    views.RestoreWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.windowState() & Qt::WindowMinimized);
    QApplication::processEvents();
}

} // namespace
