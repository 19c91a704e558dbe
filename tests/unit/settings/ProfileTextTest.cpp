#include "settings/ProfileText.h"

#include "tests/support/CaseName.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

struct FileNameCase
{
    std::string IniDatei;
    std::string programDir;
    std::string expected;
};

void PrintTo(const FileNameCase &c, std::ostream *os)
{
    *os << "'" << c.IniDatei << "' in '" << c.programDir << "'";
}

class FileNameRules : public testing::TestWithParam<FileNameCase>
{
};

TEST_P(FileNameRules, Resolve)
{
    const FileNameCase &c = GetParam();
    EXPECT_EQ(ProfileText::resolveFileName(c.IniDatei, c.programDir), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileNameRules,
    testing::Values(FileNameCase{"Telefon", "/opt/kw", "/opt/kw/Telefon.INI"},
                    FileNameCase{"klingelwacht.INI", "/opt/kw", "/opt/kw/klingelwacht.INI"},
                    // A "/" but no ".": ".INI" appended, the directory left as it is.
                    FileNameCase{"/home/u/Daten/Telefon", "/opt/kw", "/home/u/Daten/Telefon.INI"},
                    FileNameCase{"Daten/Telefon", "/opt/kw", "Daten/Telefon.INI"},
                    FileNameCase{"Telefon.cfg", "/opt/kw", "/opt/kw/Telefon.cfg"},
                    FileNameCase{"", "/opt/kw", "/opt/kw/.INI"},
                    // Exactly one "/" between directory and name, also at the root.
                    FileNameCase{"Telefon", "/", "/Telefon.INI"},
                    FileNameCase{"Telefon", "/opt/kw/", "/opt/kw/Telefon.INI"},
                    // Both tests look at the whole text: the "." of a directory counts.
                    FileNameCase{"/home/a.b/Telefon", "/opt/kw", "/home/a.b/Telefon"},
                    FileNameCase{"Tele.fon/", "/opt/kw", "Tele.fon/"}),
    [](const auto &tc) { return caseName(tc.param.IniDatei + "_in_" + tc.param.programDir); });

struct ValueCase
{
    const char *what;
    std::string text;
    std::string section;
    std::string key;
    std::string expected;
};

void PrintTo(const ValueCase &c, std::ostream *os)
{
    *os << c.what;
}

class Values : public testing::TestWithParam<ValueCase>
{
};

TEST_P(Values, FindValue)
{
    const ValueCase &c = GetParam();
    EXPECT_EQ(ProfileText::findValue(c.text, c.section, c.key), c.expected) << c.what;
}

const std::string a255(255, 'a');

INSTANTIATE_TEST_SUITE_P(
    Table, Values,
    testing::Values(
        ValueCase{"plain", "[Setup]\nMSN1=45\n", "Setup", "MSN1", "45"},
        ValueCase{"no final line end", "[Setup]\nMSN1=45", "Setup", "MSN1", "45"},
        ValueCase{"CR LF", "[Setup]\r\nMSN1=45\r\nMSN2=67\r\n", "Setup", "MSN1", "45"},
        ValueCase{"lower-case names", "[setup]\nmsn1=45\n", "Setup", "MSN1", "45"},
        ValueCase{"upper-case names", "[SETUP]\nMsN1=45\n", "setup", "msn1", "45"},
        ValueCase{"only ASCII folds", "[\xc3\x84]\nk=1\n", "\xc3\xa4", "k", ""},
        ValueCase{"blanks", "[ Setup ]\n  MSN1  =   45  \n", "Setup", "MSN1", "45"},
        ValueCase{"tabs", "[Setup]\n\tMSN1\t=\t45\t\n", "Setup", "MSN1", "45"},
        ValueCase{"inner blanks kept", "[Setup]\nMSN1=45 67\n", "Setup", "MSN1", "45 67"},
        ValueCase{"quotes", "[Setup]\nMSN1=\"45\"\n", "Setup", "MSN1", "45"},
        ValueCase{"blanks inside quotes", "[Setup]\nMSN1=\" 45 \"\n", "Setup", "MSN1", " 45 "},
        ValueCase{"one pair only", "[Setup]\nMSN1=\"\"45\"\"\n", "Setup", "MSN1", "\"45\""},
        ValueCase{"single quotes", "[Setup]\nMSN1='45'\n", "Setup", "MSN1", "45"},
        ValueCase{"unmatched quote", "[Setup]\nMSN1=\"45\n", "Setup", "MSN1", "\"45"},
        ValueCase{"mixed quotes", "[Setup]\nMSN1=\"45'\n", "Setup", "MSN1", "\"45'"},
        ValueCase{"lone quote", "[Setup]\nMSN1=\"\n", "Setup", "MSN1", "\""},
        ValueCase{"empty quotes", "[Setup]\nMSN1=\"\"\n", "Setup", "MSN1", ""},
        ValueCase{"comment", "[Setup]\n;MSN1=45\nMSN1=67\n", "Setup", "MSN1", "67"},
        ValueCase{"indented comment", "[Setup]\n  ; MSN1=45\n", "Setup", "MSN1", ""},
        ValueCase{"commented section", ";[Setup]\nMSN1=45\n", "Setup", "MSN1", ""},
        ValueCase{"hash is no comment", "[Setup]\n#MSN1=45\n", "Setup", "#MSN1", "45"},
        ValueCase{"empty value", "[Setup]\nMSN1=\nMSN2=67\n", "Setup", "MSN1", ""},
        ValueCase{"missing key", "[Setup]\nMSN2=67\n", "Setup", "MSN1", ""},
        ValueCase{"missing section", "[Other]\nMSN1=45\n", "Setup", "MSN1", ""},
        ValueCase{"empty text", "", "Setup", "MSN1", ""},
        ValueCase{"other section", "[Other]\nMSN1=9\n[Setup]\nMSN2=1\n", "Setup", "MSN1", ""},
        ValueCase{"before any section", "MSN1=45\n[Setup]\n", "Setup", "MSN1", ""},
        ValueCase{"key not prefix", "[Setup]\nMSN10=45\n", "Setup", "MSN1", ""},
        ValueCase{"section not prefix", "[Setup2]\nMSN1=45\n", "Setup", "MSN1", ""},
        ValueCase{"first match wins", "[Setup]\nMSN1=45\nMSN1=67\n", "Setup", "MSN1", "45"},
        ValueCase{"repeated section, first wins", "[Setup]\nMSN1=45\n[Setup]\nMSN1=67\n", "Setup",
                  "MSN1", "45"},
        ValueCase{"repeated section continues",
                  "[Setup]\nMSN2=1\n[Other]\nMSN1=9\n[setup]\nMSN1=45\n", "Setup", "MSN1", "45"},
        ValueCase{"key without =", "[Setup]\nMSN1\nMSN1=45\n", "Setup", "MSN1", ""},
        ValueCase{"= in value", "[Setup]\nMSN1=a=b\n", "Setup", "MSN1", "a=b"},
        ValueCase{"blank key", "[Setup]\n=45\nMSN1=67\n", "Setup", "MSN1", "67"},
        ValueCase{"header comment", "[Setup] ; Rufnummern\nMSN1=45\n", "Setup", "MSN1", "45"},
        ValueCase{"unclosed header", "[Setup\nMSN1=45\n", "Setup", "MSN1", "45"},
        ValueCase{"NUL ends the value", "[Setup]\nMSN1=45\0xyz\nMSN2=67\n"s, "Setup", "MSN1", "45"},
        ValueCase{"NUL keeps lines", "[Setup]\nMSN1=45\0xyz\nMSN2=67\n"s, "Setup", "MSN2", "67"},
        ValueCase{"NUL in key name", "[Setup]\nMS\0N1=45\n"s, "Setup", "MSN1", ""},
        ValueCase{"CR inside line", "[Setup]\nMSN1=4\r5\n", "Setup", "MSN1", "4\r5"},
        ValueCase{"255 kept", "[Setup]\nMSN1=" + a255 + "\n", "Setup", "MSN1", a255},
        ValueCase{"256 cut", "[Setup]\nMSN1=" + a255 + "b\n", "Setup", "MSN1", a255},
        ValueCase{"long cut", "[Setup]\nMSN1=" + std::string(5000, 'a') + "\n", "Setup", "MSN1",
                  a255},
        ValueCase{"quoted long", "[Setup]\nMSN1=\"" + a255 + "b\"\n", "Setup", "MSN1", a255},
        ValueCase{"cut after trim", "[Setup]\nMSN1=   " + a255 + "   \n", "Setup", "MSN1", a255},
        // A two-byte character across the limit is dropped whole.
        ValueCase{"UTF-8 not split", "[Setup]\nMSN1=" + std::string(254, 'a') + "\xc3\xa4" + "\n",
                  "Setup", "MSN1", std::string(254, 'a')},
        ValueCase{"UTF-8 at limit kept",
                  "[Setup]\nMSN1=" + std::string(253, 'a') + "\xc3\xa4" + "x\n", "Setup", "MSN1",
                  std::string(253, 'a') + "\xc3\xa4"}),
    NameBy<&ValueCase::what>{});

struct RemoveCase
{
    const char *what;
    std::string before;
    std::string section;
    std::string key;
    std::string after;
};

void PrintTo(const RemoveCase &c, std::ostream *os)
{
    *os << c.what;
}

class Remove : public testing::TestWithParam<RemoveCase>
{
};

TEST_P(Remove, RestIsByteIdentical)
{
    const RemoveCase &c = GetParam();
    const std::optional<std::string> rest = ProfileText::removeKey(c.before, c.section, c.key);
    ASSERT_TRUE(rest.has_value()) << c.what;
    EXPECT_EQ(*rest, c.after) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Remove,
    testing::Values(
        RemoveCase{"CR LF file",
                   "; Kopf\r\n[Setup]\r\nMSN1=45\r\nMSN2 = 67\r\n\r\n[Other]\r\nMSN1=9\r\n",
                   "Setup", "MSN1", "; Kopf\r\n[Setup]\r\nMSN2 = 67\r\n\r\n[Other]\r\nMSN1=9\r\n"},
        RemoveCase{"names folded", "[Setup]\nMSN1=45\n  MSN2 = 67 \n", "setup", "msn2",
                   "[Setup]\nMSN1=45\n"},
        RemoveCase{"last line without end", "[Setup]\nMSN1=1\nMSN2=2", "Setup", "MSN2",
                   "[Setup]\nMSN1=1\n"},
        RemoveCase{"comment stays", "[Setup]\n;MSN1=45\nMSN1=67\n", "Setup", "MSN1",
                   "[Setup]\n;MSN1=45\n"},
        RemoveCase{"every line of the key", "[Setup]\nMSN1=1\nMSN1=2\n[Setup]\nMSN1=3\nX=4\n",
                   "Setup", "MSN1", "[Setup]\n[Setup]\nX=4\n"},
        RemoveCase{"key without =", "[Setup]\nMSN1\nMSN2=2\n", "Setup", "MSN1",
                   "[Setup]\nMSN2=2\n"},
        RemoveCase{"odd bytes elsewhere", "\xff\xfe\0[x\n[Setup]\r\nMSN1=1\nz=\0\x01\r\r\n\n"s,
                   "Setup", "MSN1", "\xff\xfe\0[x\n[Setup]\r\nz=\0\x01\r\r\n\n"s}),
    NameBy<&RemoveCase::what>{});

struct SetCase
{
    const char *what;
    std::string before;
    std::string section;
    std::string key;
    std::string value;
    std::string after;
};

class Set : public testing::TestWithParam<SetCase>
{
};

TEST_P(Set, ChangesOnlyItsEntry)
{
    const SetCase &c = GetParam();
    const auto out = ProfileText::setValues(c.before, {{c.section, c.key, c.value}});
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, c.after);
    EXPECT_EQ(ProfileText::findValue(*out, c.section, c.key), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Set,
    testing::Values(
        SetCase{"in place, odd spacing and CR LF kept",
                "; c\r\n[ setup ]\r\n  msn1 =\t 4711  \r\nMSN2=1\r\n", "Setup", "MSN1", "99",
                "; c\r\n[ setup ]\r\n  msn1 =\t 99\r\nMSN2=1\r\n"},
        SetCase{"key without equals", "[Setup]\n  MSN1\nx=1\n", "Setup", "MSN1", "5",
                "[Setup]\n  MSN1=5\nx=1\n"},
        SetCase{"new key after the last entry, comments stay with the next section",
                "[Setup]\nMSN1=1\n\n; next\n[Anrufmonitor]\nHost=a\n", "Setup", "MSN3", "3",
                "[Setup]\nMSN1=1\nMSN3=3\n\n; next\n[Anrufmonitor]\nHost=a\n"},
        SetCase{"new key in an empty section", "[Setup]\r\n[X]\r\n", "Setup", "K", "v",
                "[Setup]\r\nK=v\r\n[X]\r\n"},
        SetCase{"new key, no final newline", "[Setup]\r\nMSN1=1", "Setup", "MSN2", "2",
                "[Setup]\r\nMSN1=1\r\nMSN2=2\r\n"},
        SetCase{"duplicate section: the first that has the key",
                "[S]\na=1\n[T]\n[s]\nk=old\n[S]\nk=later\n", "S", "k", "new",
                "[S]\na=1\n[T]\n[s]\nk=new\n[S]\nk=later\n"},
        SetCase{"duplicate section without the key: the first gets it", "[S]\na=1\n;x\n[S]\nb=2\n",
                "S", "k", "v", "[S]\na=1\nk=v\n;x\n[S]\nb=2\n"},
        SetCase{"commented-out section is not the section",
                "[Setup]\nMSN1=1\n;[Anrufmonitor]\n;Host=fritz.box", "Anrufmonitor", "Host", "h",
                "[Setup]\nMSN1=1\n;[Anrufmonitor]\n;Host=fritz.box\n\n[Anrufmonitor]\nHost=h\n"},
        SetCase{"new section in a CR LF file", "[A]\r\nx=1\r\n\r\n", "B", "y", "2",
                "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
        SetCase{"keys before any section do not count", "k=1\n", "S", "k", "2",
                "k=1\n\n[S]\nk=2\n"},
        SetCase{"blanks and quotes survive a read", "[S]\nk=1\n", "S", "k", " a \"b\" ",
                "[S]\nk=\" a \"b\" \"\n"},
        SetCase{"empty value", "[S]\nk=1\r\n", "S", "k", "", "[S]\nk=\r\n"}),
    NameBy<&SetCase::what>{});

// A key that already reads as the value leaves the file alone (nullopt: no rewrite), and so
// does anything that would break other entries.
TEST(SetValues, UnchangedOrUnwritableGivesNullopt)
{
    const std::string text = "[Setup]\nMSN1 = \"45\" \nMSN2=\n";
    EXPECT_FALSE(ProfileText::setValues(text, {{"setup", "msn1", "45"}, {"Setup", "MSN2", ""}}));
    for (const ProfileText::Assignment &bad : {ProfileText::Assignment{"Setup", "MSN1", "1\n[X]"},
                                               {"Se]tup", "MSN1", "1"},
                                               {"Setup", "A=B", "1"},
                                               {"Setup", ";MSN1", "1"},
                                               {"Setup", "", "1"},
                                               {"Setup", " MSN1", "1"},
                                               {"Setup\r", "MSN1", "1"}})
        EXPECT_FALSE(ProfileText::setValues(text, {bad})) << bad.section << "/" << bad.key;
}

// Several values in one pass: each lands where a single write would put it.
TEST(SetValues, SeveralInOnePass)
{
    const auto out = ProfileText::setValues(
        "[Setup]\nMSN1=1\n", {{"Setup", "MSN1", "1"}, {"Setup", "MSN2", "2"}, {"T", "a", "b"}});
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, "[Setup]\nMSN1=1\nMSN2=2\n\n[T]\na=b\n");
}

TEST(Remove, NothingToRemoveGivesNullopt)
{
    const std::string text = "[Setup]\nMSN1=45\n;MSN2=1\n[Other]\nMSN2=3\n";
    EXPECT_FALSE(ProfileText::removeKey(text, "Setup", "MSN2"));
    EXPECT_FALSE(ProfileText::removeKey(text, "Nope", "MSN1"));
    EXPECT_FALSE(ProfileText::removeKey("", "Setup", "MSN1"));
    EXPECT_FALSE(ProfileText::removeKey("MSN1=4\n[Setup]\n", "Setup", "MSN1"));
}

// Whatever the bytes, a read after a delete of the same key finds nothing.
TEST(Remove, ReadAfterDeleteIsEmpty)
{
    std::string text;
    unsigned seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const char pick[] = {'[', ']', '=', ';', '\n', '\r', ' ', 'S', 's', 'x', '\0', '"'};
        text += pick[(seed >> 16) % sizeof pick];
    }
    text += "\n[S]\nS=1\n";
    const auto rest = ProfileText::removeKey(text, "S", "S");
    ASSERT_TRUE(rest);
    EXPECT_EQ(ProfileText::findValue(*rest, "S", "S"), "");
}

} // namespace
