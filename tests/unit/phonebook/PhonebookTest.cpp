#include "phonebook/Phonebook.h"

#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

void writeCard(const std::filesystem::path &file, const std::string &name,
               const std::string &number)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "BEGIN:VCARD\nVERSION:3.0\nFN:" << name << "\nTEL:" << number
                        << "\nEND:VCARD\n";
}

/// Runs the event loop until cond holds; false after ms.
template<class Cond> bool waitFor(Cond cond, int ms = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!cond()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

/// Waits for the next index to be swapped in.
bool waitChanged(Phonebook &book)
{
    int changes = 0;
    const auto connection = QObject::connect(&book, &Phonebook::changed, [&] { ++changes; });
    const bool changed = waitFor([&] { return changes > 0; });
    QObject::disconnect(connection);
    return changed;
}

std::string shown(const Phonebook &book, const char *caller)
{
    return book.lookup(caller).displayText();
}

// Sources are asked in order (vCard1 before vCard2 before the router); a folder counts with
// its subfolders; a changed file renames without a restart.
TEST(PhonebookTest, LoadsInOrderAndFollowsChanges)
{
    TempDir dir;
    writeCard(dir / "eins.vcf", "Erste Quelle", "0301234567");
    writeCard(dir / "ordner" / "sub" / "b.vcf", "Zweite Quelle", "0301234567");
    writeCard(dir / "ordner" / "c.VCF", "Carla", "089123456");
    PhonebookConfig config;
    config.vcardPaths = {(dir / "eins.vcf").string(), (dir / "ordner").string()};
    config.areaCode = "030";
    Phonebook book(config);
    book.start();
    ASSERT_TRUE(waitChanged(book));
    EXPECT_EQ(shown(book, "1234567"), "Erste Quelle");
    EXPECT_EQ(shown(book, "+4989123456"), "Carla");
    EXPECT_EQ(shown(book, "0891111111"), "(München)");
    EXPECT_EQ(shown(book, "Unbekannt"), "");

    book.setRouterBooks({{"Router: Telefonbuch",
                          {{"Router Carla", "089123456", "Telefonbuch"},
                           {"Router Rolf", "0441123456", "Telefonbuch"}}}});
    ASSERT_TRUE(waitChanged(book));
    EXPECT_EQ(shown(book, "089123456"), "Carla");
    const PhonebookAnswer rolf = book.lookup("0441123456");
    EXPECT_EQ(rolf.displayText(), "Router Rolf");
    EXPECT_EQ(rolf.match->source, "Router: Telefonbuch");
    EXPECT_EQ(rolf.national, "0441 123456");

    writeCard(dir / "ordner" / "sub" / "neu.vcf", "Neu Angelegt", "0401111111");
    ASSERT_TRUE(waitFor([&] { return shown(book, "0401111111") == "Neu Angelegt"; }, 10000));
    std::filesystem::remove(dir / "eins.vcf");
    ASSERT_TRUE(waitFor([&] { return shown(book, "1234567") == "Zweite Quelle"; }, 10000));
}

// The router's codes count where the settings name none, and the index is built anew.
TEST(PhonebookTest, RouterCodesApplyWhereTheSettingsNameNone)
{
    PhonebookConfig config;
    config.router = true;
    Phonebook book(config);
    book.loadNow();
    book.setRouterBooks({{"Router: Telefonbuch", {{"Nachbar", "23456", "Telefonbuch"}}}});
    ASSERT_TRUE(waitChanged(book));
    EXPECT_EQ(book.lookup("23456").key, "+4923456");
    book.setRouterCodes("0441", "49");
    ASSERT_TRUE(waitChanged(book));
    EXPECT_EQ(book.lookup("23456").key, "+4944123456");
    EXPECT_EQ(shown(book, "0441 23456"), "Nachbar");
}

TEST(PhonebookTest, RefusesHugeFilesAndTellsMissingOnce)
{
    TempDir dir;
    std::filesystem::resize_file((std::ofstream(dir / "gross.vcf"), dir / "gross.vcf"),
                                 65LL * 1024 * 1024);
    PhonebookConfig config;
    config.vcardPaths = {(dir / "gross.vcf").string(), (dir / "fehlt.vcf").string()};
    Phonebook book(config);
    testing::internal::CaptureStderr();
    book.loadNow();
    book.loadNow();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("gross.vcf ist größer als 64 MiB"), std::string::npos) << err;
    EXPECT_EQ(err.find("fehlt.vcf nicht gefunden"), err.rfind("fehlt.vcf nicht gefunden")) << err;
}

} // namespace
