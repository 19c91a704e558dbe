#include "calllog/CallCsv.h"
#include "calllog/MissedCall.h"

#include <clocale>
#include <gtest/gtest.h>

namespace {

// Missed is who nobody took; everything else, including an old answering-machine line
// written as an extension, is answered.
TEST(MissedCall, ByHandlingText)
{
    for (const char *missed :
         {"Anrufer hat aufgelegt", "Verbindung verloren", "Anrufbeantworter (Nebenstelle 40)",
          "Anrufbeantworter (Nebenstelle 49)"})
        EXPECT_TRUE(isMissedCall(missed)) << missed;
    for (const char *answered :
         {"Angenommen am S0-Bus", "Angenommen am Computer", "Anruf umgeleitet", "Abbruch durch VSt",
          "17", "Angenommen an Nebenstelle 10", "Angenommen an Nebenstelle 40", "",
          "anrufer hat aufgelegt", "Anrufer hat aufgelegt "})
        EXPECT_FALSE(isMissedCall(answered)) << answered;
}

TEST(CallCsv, FieldsAreQuotedOnlyWhenTheyMustBe)
{
    const std::pair<const char *, const char *> cases[] = {
        {"0301234", "0301234"},
        {"M\xc3\xbcller, J\xc3\xbcrgen", "M\xc3\xbcller, J\xc3\xbcrgen"}, // comma: not ours
        {"a;b", "\"a;b\""},
        {"Sag \"Hallo\"", "\"Sag \"\"Hallo\"\"\""},
        {"zwei\r\nZeilen", "\"zwei\r\nZeilen\""},
        {"nur\nLF", "\"nur\nLF\""},
        {"", ""},
    };
    for (const auto &[field, expected] : cases) {
        std::string out;
        CallCsv::appendField(out, field);
        EXPECT_EQ(out, expected) << field;
    }
}

TEST(CallCsv, RowsOfCompletedOpenAndShortCalls)
{
    CallCsv csv;
    std::string out;
    csv.appendRow(out, "0301234\t345\t08.12.2026\t10:15:09\tAnrufer hat aufgelegt", "B; \"C\"");
    csv.appendRow(out, "Unbekannt\t345\t08.12.2026\t10:16:00\tAngenommen an Nebenstelle 10", "");
    csv.appendRow(out, "0301234\t345\t08.12.2026\t10:17:00", ""); // still open
    csv.appendRow(out, "leer\tkaputt", "");                       // damaged line
    csv.appendRow(out, "030\t345\t2026-12-09\tspät\tAnrufbeantworter (Nebenstelle 41)\tx", "");
    EXPECT_EQ(out, "0301234;\"B; \"\"C\"\"\";345;2026-12-08;10:15:09;Anrufer hat aufgelegt;ja\r\n"
                   "Unbekannt;;345;2026-12-08;10:16:00;Angenommen an Nebenstelle 10;nein\r\n"
                   "0301234;;345;2026-12-08;10:17:00;;\r\n"
                   "leer;;kaputt;;;;\r\n"
                   "030;;345;2026-12-09;spät;Anrufbeantworter (Nebenstelle 41);ja\r\n");
}

// The log's dates are the user's %x: another locale's are read by its own rules, and
// what no rule reads stays as written.
TEST(CallCsv, DatesOfTheUsersLocaleBecomeIso)
{
    CallCsv csv;
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(csv.isoDate("12/08/26"), "2026-12-08");
    EXPECT_EQ(csv.isoDate("30.12.2000"), "2000-12-30");
    EXPECT_EQ(csv.isoDate("13/45/26"), "13/45/26");
    EXPECT_EQ(csv.isoDate("gestern"), "gestern");
    EXPECT_EQ(csv.isoDate(""), "");
    EXPECT_EQ(CallCsv::isoTime("02:05:09 PM"), "02:05:09 PM");
}

} // namespace
