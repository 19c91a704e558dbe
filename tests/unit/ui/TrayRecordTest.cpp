// The tray record's tooltip: cut to what the tray takes, by characters.
#include "ui/TrayRecord.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(TrayRecord, TipIsCutToSixtyThreeCharacters)
{
    TrayRecord r;
    r.setTip(std::string(70, 'a'));
    EXPECT_EQ(r.szTip, std::string(63, 'a'));
    r.setTip("<Kein Anruf>");
    EXPECT_EQ(r.szTip, "<Kein Anruf>");
}

TEST(TrayRecord, TipCutCountsCharactersNotBytes)
{
    TrayRecord r;
    std::string umlauts;
    for (int i = 0; i < 70; ++i)
        umlauts += "\xC3\xA4"; // ä
    r.setTip(umlauts);
    EXPECT_EQ(r.szTip.size(), 126u);
}

TEST(TrayRecord, KeepsTabsOfACallLine)
{
    TrayRecord r;
    r.setTip("0301\t345\t30.12.2000\t14:05:09");
    EXPECT_EQ(r.szTip, "0301\t345\t30.12.2000\t14:05:09");
}

} // namespace
