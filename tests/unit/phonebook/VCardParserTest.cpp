#include "phonebook/VCardParser.h"

#include "tests/support/Files.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct Expected
{
    std::string name;
    std::string number;
    int line;
};

struct CorpusCase
{
    const char *file;
    std::vector<Expected> entries;
    std::vector<std::string> notices; // "file:line" each notice must name
};

class VCardCorpusTest : public testing::TestWithParam<CorpusCase>
{
};

// Every quirk of the corpus gives the exact name, number and line; damage costs only its card.
TEST_P(VCardCorpusTest, ReadsEveryEntry)
{
    const CorpusCase &c = GetParam();
    const std::string path = std::string(KW_VCARD_CORPUS) + "/" + c.file;
    testing::internal::CaptureStderr();
    const PhonebookBook book = parseVCards(readFile(path), path);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(book.source, path);
    ASSERT_EQ(book.entries.size(), c.entries.size()) << err;
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
        EXPECT_EQ(book.entries[i].name, c.entries[i].name) << i;
        EXPECT_EQ(book.entries[i].number, c.entries[i].number) << i;
        EXPECT_EQ(book.entries[i].origin, path + ":" + std::to_string(c.entries[i].line)) << i;
    }
    for (const auto &at : c.notices)
        EXPECT_NE(err.find(path + ":" + at + ":"), std::string::npos) << err;
    EXPECT_EQ(static_cast<std::size_t>(std::count(err.begin(), err.end(), '\n')), c.notices.size())
        << err;
}

INSTANTIATE_TEST_SUITE_P(Corpus, VCardCorpusTest,
                         testing::Values(CorpusCase{"v21-android.vcf",
                                                    {{"Jürgen Müller", "+49 170 1234567", 8},
                                                     {"Jürgen Müller", "030 1234567", 9},
                                                     {"Grüße Latin", "0441 123456", 14},
                                                     {"€uro Müller–Shop", "089 123456", 19}},
                                                    {}},
                                         CorpusCase{"v30-folded.vcf",
                                                    {{"Bäcker, Anna ; Co\\", "0171 2345678", 5},
                                                     {"Bäcker, Anna ; Co\\", "+49 (40) 555-01", 6},
                                                     {"Klein Geschrieben", "0711 22334455", 12},
                                                     {"Vorname Nachname", "06221 987654", 18},
                                                     {"Firma Beispiel", "0711 9876-0", 24}},
                                                    {}},
                                         CorpusCase{"v40-uri.vcf",
                                                    {{"Uri Person", "+49-170-7654321", 4},
                                                     {"Uri Person", "+49-711-5555-12", 5},
                                                     {"OhneVersion", "040 998877", 10}},
                                                    {}},
                                         CorpusCase{"damaged.vcf",
                                                    {{"Gut Eins", "0301111111", 4},
                                                     {"Gut Zwei", "0304444444", 17}},
                                                    {"9", "12", "19"}}),
                         [](const auto &param) {
                             std::string name = param.param.file;
                             name.erase(name.find('.'));
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

TEST(VCardParserTest, CharsetsBecomeUtf8)
{
    EXPECT_EQ(vCardToUtf8("M\xfcller", "ISO-8859-1"), "Müller");
    EXPECT_EQ(vCardToUtf8("\x80 \x96", "windows-1252"), "€ –");
    EXPECT_EQ(vCardToUtf8("Müller", "UTF-8"), "Müller");
    // Old exporters wrote their code page and named none.
    EXPECT_EQ(vCardToUtf8("M\xfcller", ""), "Müller");
    EXPECT_EQ(vCardToUtf8("\xc3", "UTF-8"), "Ã");
}

// Garbage, binary and hostile input: no entry, no crash, at most a few notices.
TEST(VCardParserTest, BadInputGivesNoEntries)
{
    const std::string huge =
        "BEGIN:VCARD\nFN:" + std::string(10 * 1024 * 1024, 'x') + "\nTEL:0301234567\nEND:VCARD\n";
    std::string softBreaks = "BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:";
    for (int i = 0; i < 200000; ++i)
        softBreaks += "a=\n"; // a rescan of the growing value per line would never end
    softBreaks += "\nTEL:0301234567\nEND:VCARD\n";
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919) & 0xFF);
    for (const std::string &bytes : {huge, softBreaks, binary, std::string("BEGIN:VCARD"),
                                     std::string("=\n=\n"), std::string()}) {
        testing::internal::CaptureStderr();
        const PhonebookBook book = parseVCards(bytes, "bad.vcf");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(book.entries.empty());
        EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 6) << err;
    }
}

} // namespace
