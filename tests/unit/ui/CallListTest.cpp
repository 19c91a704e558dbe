// The call list as the person uses it: names, missed calls, the search bar, the row menu
// and the export of what is shown.
#include "tests/fakes/FakeTelHandler.h"
#include "ui/CallFilterModel.h"
#include "ui/CallGridModel.h"
#include "ui/CallListControls.h"
#include "ui/DesktopTelHandler.h"
#include "ui/MainWindowViews.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace {

class CallListTest : public ::testing::Test
{
protected:
    QWidget window;
    MainWindowViews views{window};
    FakeTelHandler tel;
    std::map<std::string, int> asked;

    void SetUp() override
    {
        views.SetupCallGrid();
        views.model().setNameResolver([this](std::string_view caller) -> std::string {
            ++asked[std::string(caller)];
            return caller == "0301234567" ? "Jürgen Müller" : "";
        });
        views.controls().setTelHandler(&tel);
        // Oldest first, as the log load inserts them; the empty row goes as after a load.
        for (const char *row :
             {"0301234567\t4711\t07.12.2026\t09:00:00\tAngenommen am S0-Bus",
              "Unbekannt\t4711\t08.12.2026\t10:00:00\tAnrufer hat aufgelegt",
              "+49 30 1234567\t5551\t08.12.2026\t11:00:00\tVerbindung verloren",
              "040 999\t5551\t09.12.2026\t12:00:00\tAngenommen an Nebenstelle 40"})
            views.GridInsertTop(row);
        views.GridRemoveLast();
    }

    QTableView &grid() { return views.grdAnrufe(); }
    QString shown(int row, int column)
    {
        return grid().model()->data(grid().model()->index(row, column)).toString();
    }
    QString counter() { return views.controls().lblTreffer().text(); }
    void search(const char *text)
    {
        views.controls().txtSuche().clear();
        QTest::keyClicks(&views.controls().txtSuche(), text);
        QApplication::processEvents(); // the search runs once the typing has been taken
    }

    /// Runs use on the actions (by text) of the menu that the keyboard's menu key opens on
    /// the shown row, while the menu is open.
    void withMenu(int row, const std::function<void(std::map<QString, QAction *> &)> &use)
    {
        bool opened = false;
        grid().setCurrentIndex(grid().model()->index(row, 0));
        views.controls().setMenuOpener([&](QMenu &menu, const QPoint &) {
            opened = true;
            std::map<QString, QAction *> actions;
            for (QAction *a : menu.actions())
                actions[a->text()] = a;
            use(actions);
        });
        // What the keyboard's menu key turns into on the grid.
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5), QPoint(5, 5));
        QApplication::sendEvent(&grid(), &key);
        EXPECT_TRUE(opened);
    }
};

TEST_F(CallListTest, NamesAreAskedOncePerNumberAndAgainOnRefresh)
{
    EXPECT_EQ(shown(3, CallGridModel::kNameColumn), "Jürgen Müller");
    EXPECT_EQ(shown(3, 0), "0301234567");
    EXPECT_EQ(shown(3, 2), "4711"); // the MSN moved one column on
    for (int i = 0; i < 3; ++i)
        shown(3, CallGridModel::kNameColumn);
    EXPECT_EQ(asked["0301234567"], 1);
    views.model().refreshNames();
    shown(3, CallGridModel::kNameColumn);
    EXPECT_EQ(asked["0301234567"], 2);
}

// Bold rows and a red caller; an old answering-machine line logged as an extension is not.
TEST_F(CallListTest, MissedCallsStandOut)
{
    const QAbstractItemModel &m = *grid().model();
    for (const auto &[row, missed] : {std::pair(0, false), {1, true}, {2, true}, {3, false}}) {
        EXPECT_EQ(m.data(m.index(row, 4), Qt::FontRole).value<QFont>().bold(), missed) << row;
        EXPECT_EQ(m.data(m.index(row, 0), Qt::ForegroundRole).isValid(), missed) << row;
    }
}

TEST_F(CallListTest, SearchFiltersAsOneTypesAndCounts)
{
    // Qt's own checks of a model's signals and indexes, after every change below.
    QAbstractItemModelTester tester(grid().model(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(counter(), "4 von 4 Anrufen");
    search("030 12");
    EXPECT_EQ(counter(), "2 von 4 Anrufen");
    EXPECT_EQ(shown(0, 0), "+49 30 1234567");
    EXPECT_EQ(shown(1, 0), "0301234567");
    search("MÜLLER"); // the name, in any case
    EXPECT_EQ(counter(), "1 von 4 Anrufen");
    search("5551");
    EXPECT_EQ(counter(), "2 von 4 Anrufen");
    views.controls().chkVerpasste().setChecked(true);
    EXPECT_EQ(counter(), "1 von 4 Anrufen");
    EXPECT_EQ(shown(0, 0), "+49 30 1234567");

    // A call that comes in and ends while the filter stands is tested on its own.
    views.GridInsertTop("0555 5551\t5551\t10.12.2026\t13:00:00");
    EXPECT_EQ(counter(), "1 von 5 Anrufen"); // open: not missed yet
    views.GridSetHandling(1, "Anrufer hat aufgelegt");
    EXPECT_EQ(counter(), "2 von 5 Anrufen");
    EXPECT_EQ(shown(0, 0), "0555 5551");
    views.GridSetHandling(1, "Angenommen am S0-Bus");
    EXPECT_EQ(counter(), "1 von 5 Anrufen");

    search("");
    views.controls().chkVerpasste().setChecked(false);
    EXPECT_EQ(counter(), "5 von 5 Anrufen");
    EXPECT_EQ(shown(0, 0), "0555 5551");
}

TEST_F(CallListTest, RowMenuCopiesAndCallsBack)
{
    withMenu(3, [&](auto &actions) {
        ASSERT_EQ(actions.size(), 3u);
        ASSERT_TRUE(actions["Zurückrufen"]->isEnabled());
        actions["Nummer kopieren"]->trigger();
        EXPECT_EQ(QApplication::clipboard()->text(), "0301234567");
        actions["Name kopieren"]->trigger();
        EXPECT_EQ(QApplication::clipboard()->text(), "Jürgen Müller");
        actions["Zurückrufen"]->trigger();
        EXPECT_EQ(tel.opened, std::vector<std::string>{"tel:+49301234567"});
    });
    withMenu(2, [&](auto &actions) { // withheld: nothing to call back, no name
        EXPECT_EQ(actions.size(), 2u);
        EXPECT_FALSE(actions["Zurückrufen"]->isEnabled());
        actions["Nummer kopieren"]->trigger();
        EXPECT_EQ(QApplication::clipboard()->text(), "Unbekannt");
    });
    // A right click takes the row under the pointer, whatever row was current.
    grid().setCurrentIndex(grid().model()->index(0, 0));
    QString copied;
    views.controls().setMenuOpener([&](QMenu &menu, const QPoint &) {
        menu.actions().first()->trigger();
        copied = QApplication::clipboard()->text();
    });
    const QPoint onRow2 = grid().visualRect(grid().model()->index(2, 1)).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, onRow2,
                            grid().viewport()->mapToGlobal(onRow2));
    QApplication::sendEvent(grid().viewport(), &click);
    EXPECT_EQ(copied, "Unbekannt");
    EXPECT_EQ(grid().currentIndex().row(), 2);

    tel.available = false; // no tel: handler on this desktop
    withMenu(0, [&](auto &actions) { EXPECT_FALSE(actions["Zurückrufen"]->isEnabled()); });
    EXPECT_GT(tel.rechecks, 0);
}

TEST_F(CallListTest, ExportTakesTheShownRowsWithNames)
{
    search("030");
    EXPECT_EQ(views.controls().shownCsv(),
              "Anrufer;Name;Rufnummer (MSN);Datum;Zeit;Behandlung;Verpasst\r\n"
              "+49 30 1234567;;5551;2026-12-08;11:00:00;Verbindung verloren;ja\r\n"
              "0301234567;Jürgen Müller;4711;2026-12-07;09:00:00;Angenommen am S0-Bus;nein\r\n");
}

} // namespace

namespace {

// The real adapter asks the desktop's associations without waiting for the answer: a
// mimeapps.list that names a tel: handler gives one, a bare desktop none.
TEST(DesktopTelHandler, AsksTheDesktopsAssociations)
{
    for (const char *var : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
        qunsetenv(var);
    for (const bool withHandler : {true, false}) {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("data/applications");
        QDir(dir.path()).mkpath("config");
        if (withHandler) {
            QFile entry(dir.filePath("data/applications/softphone.desktop"));
            ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
            entry.write("[Desktop Entry]\nType=Application\nName=Softphone\nExec=true %u\n"
                        "MimeType=x-scheme-handler/tel;\n");
            QFile list(dir.filePath("config/mimeapps.list"));
            ASSERT_TRUE(list.open(QIODevice::WriteOnly));
            list.write("[Default Applications]\nx-scheme-handler/tel=softphone.desktop\n");
        }
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
        qputenv("XDG_DATA_DIRS", dir.filePath("none").toLocal8Bit());
        DesktopTelHandler tel;
        EXPECT_FALSE(tel.isAvailable()); // not known before the answer
        ASSERT_TRUE(QTest::qWaitFor([&] { return !tel.findChild<QProcess *>(); }, 20000));
        EXPECT_EQ(tel.isAvailable(), withHandler);
    }
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
        qunsetenv(var);
}

} // namespace
