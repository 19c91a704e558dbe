#include "settings/LockKeySignaller.h"

#include "settings/Profile.h"
#include "tests/fakes/FakeKeyboard.h"
#include "tests/support/CaseName.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct MatchCase
{
    std::string setting;
    std::string calledNumber;
    bool expected;
};

void PrintTo(const MatchCase &c, std::ostream *os)
{
    *os << "'" << c.setting << "' in '" << c.calledNumber << "'";
}

class Matching : public testing::TestWithParam<MatchCase>
{
};

TEST_P(Matching, Table)
{
    const MatchCase &c = GetParam();
    EXPECT_EQ(LockKeySignaller::matches(c.setting, c.calledNumber), c.expected)
        << "setting '" << c.setting << "', called '" << c.calledNumber << "'";
}

INSTANTIATE_TEST_SUITE_P(Table, Matching,
                         testing::Values(MatchCase{"45", "345", true},    // at the end
                                         MatchCase{"34", "345", true},    // at the start
                                         MatchCase{"4", "345", true},     // inside
                                         MatchCase{"345", "345", true},   // whole
                                         MatchCase{"45", "354", false},   // not in one run
                                         MatchCase{"3456", "345", false}, // longer
                                         MatchCase{"", "345", true},      // empty setting
                                         MatchCase{"", "", false},        // empty number
                                         MatchCase{"45", "", false},      // empty number
                                         MatchCase{"ab", "AB", false},    // case matters
                                         MatchCase{"AB", "xABy", true},   // same case
                                         MatchCase{"45 67", "45", false}, // whole text
                                         MatchCase{"45,67", "4567", false},
                                         MatchCase{"45 67", "0045 678", true},
                                         MatchCase{" 45", "45", false}),
                         [](const auto &tc) {
                             return caseName(tc.param.setting + "_in_" + tc.param.calledNumber);
                         }); // no trimming

struct SignalCase
{
    const char *what;
    std::array<std::string, 3> msn;
    std::vector<std::string> calls;
    std::vector<LockKey> toggled;
};

void PrintTo(const SignalCase &c, std::ostream *os)
{
    *os << c.what;
}

class Signalling : public testing::TestWithParam<SignalCase>
{
};

TEST_P(Signalling, Table)
{
    const SignalCase &c = GetParam();
    FakeKeyboard keyboard;
    LockKeyFlags flags;
    LockKeySignaller signaller(keyboard, flags);
    for (int i = 1; i <= 3; ++i)
        signaller.setMsn(i, c.msn[static_cast<std::size_t>(i - 1)]);
    for (const std::string &called : c.calls)
        signaller.signal(called);
    EXPECT_EQ(keyboard.toggled, c.toggled) << c.what;

    // A flag is true (-1) exactly when its key was toggled.
    auto was = [&](LockKey k) {
        return std::find(c.toggled.begin(), c.toggled.end(), k) != c.toggled.end();
    };
    EXPECT_EQ(flags.NumLockSignalled, was(LockKey::NumLock) ? -1 : 0) << c.what;
    EXPECT_EQ(flags.CapsLockSignalled, was(LockKey::CapsLock) ? -1 : 0) << c.what;
    EXPECT_EQ(flags.ScrollLockSignalled, was(LockKey::ScrollLock) ? -1 : 0) << c.what;
}

constexpr LockKey Num = LockKey::NumLock;
constexpr LockKey Caps = LockKey::CapsLock;
constexpr LockKey Scroll = LockKey::ScrollLock;

INSTANTIATE_TEST_SUITE_P(
    Table, Signalling,
    testing::Values(
        SignalCase{"match, then the same number again", {"45", "99", "88"}, {"345", "345"}, {Num}},
        SignalCase{"no match", {"45", "99", "88"}, {"354", "3546", "4"}, {}},
        SignalCase{"no settings: all three once, in order",
                   {"", "", ""},
                   {"", "123", "456", "789"},
                   {Num, Caps, Scroll}},
        SignalCase{"empty called number toggles nothing", {"", "", ""}, {"", ""}, {}},
        SignalCase{"MSN1 = MSN3: both on one call", {"45", "99", "45"}, {"345"}, {Num, Scroll}},
        SignalCase{"MSN2 after MSN1", {"45", "67", "88"}, {"345", "4567", "4567"}, {Num, Caps}},
        SignalCase{"order within one call is Num, Caps, Scroll",
                   {"3", "2", "1"},
                   {"123"},
                   {Num, Caps, Scroll}},
        SignalCase{"case matters", {"ab", "99", "88"}, {"AB", "xaby"}, {Num}},
        SignalCase{"one empty setting takes the first call",
                   {"45", "", "88"},
                   {"1", "345", "88"},
                   {Caps, Num, Scroll}}),
    NameBy<&SignalCase::what>{});

TEST(Signalling, FlagsAlreadySetAreNotToggledAgain)
{
    FakeKeyboard keyboard;
    LockKeyFlags flags;
    flags.CapsLockSignalled = -1;
    LockKeySignaller signaller(keyboard, flags);
    signaller.signal("123");
    EXPECT_EQ(keyboard.toggled, (std::vector<LockKey>{Num, Scroll}));
}

// The settings as start-up reads them: with no settings file the first call with a
// called number toggles all three keys, later calls nothing.
TEST(Signalling, NoSettingsFile)
{
    TempDir dir;
    FakeKeyboard keyboard;
    LockKeyFlags flags;
    LockKeySignaller signaller(keyboard, flags);
    for (int i = 1; i <= 3; ++i)
        signaller.setMsn(
            i, IniGet("klingelwacht.INI", "Setup", "MSN" + std::to_string(i), dir.path()));
    signaller.signal("");
    EXPECT_TRUE(keyboard.toggled.empty());
    signaller.signal("4711");
    signaller.signal("4712");
    EXPECT_EQ(keyboard.toggled, (std::vector<LockKey>{Num, Caps, Scroll}));
}

} // namespace
