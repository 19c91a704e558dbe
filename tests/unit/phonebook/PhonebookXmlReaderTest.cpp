#include "phonebook/PhonebookXmlReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct XmlCase
{
    const char *what;
    std::string xml;
    std::vector<std::string> entries; // "book|name|number"
    int unnamed = 0;
    bool broken = false;
};

std::string contact(const std::string &name, const std::string &numbers)
{
    return "<contact><category>0</category><person><realName>" + name +
           "</realName></person><telephony nid=\"1\">" + numbers +
           "</telephony><services/><setup/><uniqueid>7</uniqueid></contact>";
}

std::string book(const std::string &body, const char *declaration = "UTF-8")
{
    return std::string("<?xml version=\"1.0\" encoding=\"") + declaration +
           "\"?>\n<phonebooks>\n<phonebook name=\"Telefonbuch\">" + body +
           "</phonebook>\n</phonebooks>\n";
}

std::vector<std::string> flat(const PhonebookXmlReader::Result &r)
{
    std::vector<std::string> out;
    for (const auto &b : r.books)
        for (const auto &e : b.entries) {
            EXPECT_EQ(b.source, PhonebookXmlReader::sourceName(e.origin));
            out.push_back(e.origin + "|" + e.name + "|" + e.number);
        }
    return out;
}

const std::string kNumber = "<number type=\"home\" prio=\"1\" id=\"0\">030 1234567</number>";

// What the reader makes of what routers write, and of what they write wrongly.
TEST(PhonebookXmlReader, ReadsWhatRoutersWrite)
{
    const XmlCase cases[] = {
        {"every number of a contact counts",
         book(contact("Erika Muster", kNumber + "<number type=\"mobile\" prio=\"0\" id=\"1\">"
                                                "+49 170 1234567</number><number type=\"work\"/>")),
         {"Telefonbuch|Erika Muster|030 1234567", "Telefonbuch|Erika Muster|+49 170 1234567"}},
        {"ISO-8859-1 as declared by old firmware",
         book(contact("J\xfcrgen M\xfcller", kNumber), "ISO-8859-1"),
         {"Telefonbuch|J\xc3\xbcrgen M\xc3\xbcller|030 1234567"}},
        {"windows-1252",
         book(contact("Caf\xe9 \x80uro", kNumber), "windows-1252"),
         {"Telefonbuch|Caf\xc3\xa9 \xe2\x82\xacuro|030 1234567"}},
        {"UTF-8 with entities",
         book(contact("M\xc3\xbcller &amp; S\xc3\xb6hne", kNumber)),
         {"Telefonbuch|M\xc3\xbcller & S\xc3\xb6hne|030 1234567"}},
        {"an undeclared xsi: prefix after an edit",
         book(contact("Max", kNumber + "<number xsi:nil=\"true\"></number>") +
              "<contact><person><realName>Eva</realName><imageURL xsi:nil=\"true\"/></person>"
              "<telephony><number>0711 9876-0</number></telephony></contact>"),
         {"Telefonbuch|Max|030 1234567", "Telefonbuch|Eva|0711 9876-0"}},
        {"internal entries without a name are left out",
         book(contact("", "<number>**3</number>") + contact("Oma", "<number>**2</number>")),
         {"Telefonbuch|Oma|**2"},
         1},
        {"numbers outside telephony do not count",
         book("<contact><person><realName>Anna</realName></person><telephony/><services>"
              "<email>a@b</email><number>999</number></services></contact>"),
         {}},
        {"several books in one file",
         "<phonebooks><phonebook name=\"Privat\">" + contact("A", kNumber) +
             "</phonebook><phonebook>" + contact("B", "<number>040 55</number>") +
             "</phonebook></phonebooks>",
         {"Privat|A|030 1234567", "Zweites|B|040 55"}},
        {"a cut document keeps what came before and says where",
         "<phonebooks><phonebook name=\"Telefonbuch\">" + contact("Max", kNumber) +
             contact("Eva", kNumber).substr(0, 90),
         {"Telefonbuch|Max|030 1234567"},
         0,
         true},
        {"a mismatched tag",
         book(contact("Max", kNumber) + "<contact></telephony>"),
         {"Telefonbuch|Max|030 1234567"},
         0,
         true},
        {"not XML at all", "\x89PNG\r\n\x1a\n\0\0", {}, 0, true},
        {"empty", "", {}, 0, true},
    };
    for (const auto &c : cases) {
        const auto r = PhonebookXmlReader::read(QByteArray::fromStdString(c.xml), "Zweites");
        EXPECT_EQ(flat(r), c.entries) << c.what;
        EXPECT_EQ(r.unnamed, c.unnamed) << c.what;
        EXPECT_EQ(!r.error.empty(), c.broken) << c.what << ": " << r.error;
    }
}

} // namespace
