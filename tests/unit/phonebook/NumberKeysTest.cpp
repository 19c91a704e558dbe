#include "phonebook/NumberKeys.h"
#include "phonebook/PhonebookIndex.h"

#include <gtest/gtest.h>
#include <random>

namespace {

const NumberKeys berlin("030", "49");

// Saved numbers and callers in every form become the same E.164 key, or none.
TEST(NumberKeysTest, Keys)
{
    struct Case
    {
        const char *number;
        const char *saved;  // "" for no key, nullptr: not asked
        const char *caller; // "" for no key
    } cases[] = {
        {"+49 30 1234567", "+49301234567", "+49301234567"},
        {"0301234567", "+49301234567", "+49301234567"},
        {"(030) 123 45-67", "+49301234567", "+49301234567"},
        {"1234567", "+49301234567", "+49301234567"}, // local: the own area code in front
        {"0049 89 123456", "+4989123456", "+4989123456"},
        {"+43 1 234567", "+431234567", "+431234567"},
        {"01013 030 1234567", nullptr, "+49301234567"}, // call-by-call: callers only
        {"0100 88 0301234567", nullptr, "+49301234567"},
        {"23456", "+493023456", "+493023456"},
        {"123", "+4930123", "+4930123"}, // short and invalid, still a key
        {"**611", "", ""},
        {"*21#", "", ""},
        {"#31#0301234567", "", ""},
        {"anna@sip.example.org", "", ""},
        {"", "", ""},
        {"Unbekannt", "", ""},
        {"ISDN Hidden", "", ""},
        {"HideCode  128", "", ""},
        {"Error", "", ""},
    };
    for (const Case &c : cases) {
        const auto saved = berlin.savedKey(c.number);
        const auto caller = berlin.callerKey(c.number);
        if (c.saved) {
            EXPECT_EQ(saved ? saved->e164 : "", c.saved) << c.number;
        }
        EXPECT_EQ(caller ? caller->e164 : "", c.caller) << c.number;
    }
    EXPECT_TRUE(berlin.savedKey("0711 9876-0")->switchboard);
    EXPECT_EQ(berlin.savedKey("0711 9876-0")->e164, "+497119876");
    EXPECT_FALSE(berlin.savedKey("0711 98760")->switchboard);
    // Without an own area code a local number is taken as it stands.
    EXPECT_EQ(NumberKeys("", "").callerKey("1234567")->e164, "+491234567");
    EXPECT_EQ(NumberKeys("30", "43").callerKey("1234567")->e164, "+43301234567");
}

PhonebookIndex sampleIndex()
{
    PhonebookIndex index(berlin);
    index.add({"a.vcf",
               {{"Anna", "+49 30 1234567", "a.vcf:3"},
                {"Lokal", "23456", "a.vcf:4"},
                {"Firma Beispiel", "0711 9876-0", "a.vcf:5"},
                {"Vertrieb", "0711 9876 5-0", "a.vcf:6"},
                {"Intern", "**611", "a.vcf:7"}}});
    index.add({"Router: Telefonbuch", {{"Anna Router", "0301234567", "Telefonbuch"}}});
    return index;
}

// Every caller form finds its entry and says how; the first book wins.
TEST(PhonebookIndexTest, Matching)
{
    const PhonebookIndex index = sampleIndex();
    struct Case
    {
        const char *caller;
        const char *shown; // "" for no entry
        PhonebookMatchKind kind;
        const char *origin;
    } cases[] = {
        {"0301234567", "Anna", PhonebookMatchKind::Exact, "a.vcf:3"},
        {"+49301234567", "Anna", PhonebookMatchKind::Exact, "a.vcf:3"},
        {"1234567", "Anna", PhonebookMatchKind::AreaCode, "a.vcf:3"},
        {"03023456", "Lokal", PhonebookMatchKind::AreaCode, "a.vcf:4"},
        {"23456", "Lokal", PhonebookMatchKind::AreaCode, "a.vcf:4"},
        {"07119876", "Firma Beispiel", PhonebookMatchKind::Exact, "a.vcf:5"},
        {"07119876123", "Firma Beispiel (Durchwahl 123)", PhonebookMatchKind::Switchboard,
         "a.vcf:5"},
        {"071198765", "Vertrieb", PhonebookMatchKind::Exact, "a.vcf:6"},
        {"0711987654", "Vertrieb (Durchwahl 4)", PhonebookMatchKind::Switchboard, "a.vcf:6"},
        {"611", "", PhonebookMatchKind::Exact, ""},
        {"0611", "", PhonebookMatchKind::Exact, ""},
        {"Unbekannt", "", PhonebookMatchKind::Exact, ""},
        {"0711987", "", PhonebookMatchKind::Exact, ""},
    };
    for (const Case &c : cases) {
        const auto m = index.lookup(c.caller);
        EXPECT_EQ(m ? m->displayName() : "", c.shown) << c.caller;
        if (m && *c.shown) {
            EXPECT_EQ(m->kind, c.kind) << c.caller;
            EXPECT_EQ(m->origin, c.origin) << c.caller;
            EXPECT_EQ(m->source, "a.vcf") << c.caller;
        }
    }
}

TEST(PhonebookIndexTest, ConflictsAreReturnedOnce)
{
    PhonebookIndex index(berlin);
    EXPECT_TRUE(
        index.add({"a", {{"Anna", "0301234567", "a:1"}, {"Anna", "1234567", "a:2"}}}).empty());
    EXPECT_EQ(index.add({"b", {{"Berta", "+49301234567", "b:1"}}}),
              std::vector<std::string>{"+49301234567: Anna / Berta"});
}

// The quick rule for German numbers gives what libphonenumber gives, for every length.
TEST(NumberKeysTest, QuickGermanKeysAgreeWithTheLibrary)
{
    std::mt19937 rng(4711);
    const char *const prefixes[] = {"0", "00", "+49", "0049", "+", "0049 0"};
    for (int i = 0; i < 20000; ++i) {
        std::string number = prefixes[rng() % 6];
        for (int n = 1 + static_cast<int>(rng() % 16); n > 0; --n)
            number += static_cast<char>('0' + rng() % 10);
        const auto quick = berlin.savedKey(number);
        const auto slow = berlin.libraryKey(number);
        ASSERT_EQ(quick ? quick->e164 : "-", slow ? *slow : "-") << number;
    }
}

// Places in German for numbers no source knows; none for what is no number.
TEST(NumberKeysTest, Places)
{
    const std::pair<const char *, const char *> cases[] = {
        {"+4989123456", "München"},
        {"+49301234567", "Berlin"},
        {"+494941123456", "Aurich"},
        {"+431234567", "Österreich"},
        {"+491701234567", "Mobilfunk"},
        {"+498001234567", "Service-Rufnummer"},
        {"Unbekannt", ""},
        {"", ""},
    };
    for (const auto &[key, place] : cases)
        EXPECT_EQ(berlin.place(key), place) << key;
    EXPECT_EQ(berlin.formatNational("+49301234567"), "030 1234567");
    EXPECT_EQ(berlin.formatNational("+431234567"), "+43 1 234567");
}

} // namespace
