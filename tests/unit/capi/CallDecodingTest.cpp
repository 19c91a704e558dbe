#include "capi/CallDecoding.h"

#include "tests/fakes/CapiMessages.h"

#include <clocale>
#include <gtest/gtest.h>

namespace {

using msg::Bytes;

ConnectIndRecord recordFrom(const Bytes &message)
{
    HeaderRecord h;
    EXPECT_TRUE(h.copyFrom({message.data(), message.size()}));
    ConnectIndRecord r;
    r.copyFrom({message.data(), message.size()}, h);
    return r;
}

DecodedCall decodeParams(const Bytes &params)
{
    return decodeConnectInd(recordFrom(msg::connectInd(0x101, params)));
}

/// Called party number 345 (type 0x81), then a Calling party structure given raw.
Bytes withCalling(std::initializer_list<std::uint8_t> calling, std::size_t trailingZeros = 7)
{
    Bytes p{4, 0x81, '3', '4', '5'};
    // push_back, not insert: GCC 12 warns falsely (array-bounds) on insert at -O2.
    for (const std::uint8_t b : calling)
        p.push_back(b);
    p.resize(p.size() + trailingZeros, 0);
    return p;
}

struct CallerCase
{
    const char *name;
    Bytes params;
    const char *caller;
    const char *msn;
};

class CallerTable : public ::testing::TestWithParam<CallerCase>
{
};

TEST_P(CallerTable, DecodesCallerAndMsn)
{
    const auto &c = GetParam();
    const DecodedCall d = decodeParams(c.params);
    EXPECT_EQ(d.caller, c.caller);
    EXPECT_EQ(d.msn, c.msn);
}

INSTANTIATE_TEST_SUITE_P(
    ConnectInd, CallerTable,
    ::testing::Values(
        CallerCase{"National", msg::callParams("345", "301", 0x21, 0x80), "0301", "345"},
        CallerCase{"International", msg::callParams("345", "493", 0x11, 0x80), "0493", "345"},
        CallerCase{"LeadingZeroKept", msg::callParams("345", "030", 0x21, 0x80), "030", "345"},
        CallerCase{"RestrictedDigitsShown", withCalling({5, 0x21, 0xA1, '1', '2', '3'}), "0123",
                   "345"},
        CallerCase{"CallerLengthZero", withCalling({0}), "Error", "345"},
        CallerCase{"IsdnHidden", withCalling({2, 0x81, 0xA0}), "ISDN Hidden", "345"},
        CallerCase{"Unbekannt", withCalling({2, 0x00, 0x20}), "Unbekannt", "345"},
        CallerCase{"HideCode128", withCalling({2, 0x80, 0x20}), "HideCode  128", "345"},
        CallerCase{"HideCode130", withCalling({2, 0x82, 0x20}), "HideCode  130", "345"},
        CallerCase{"AllowedNoDigits", withCalling({2, 0x81, 0x80}), "", "345"},
        CallerCase{"NotAvailable", withCalling({2, 0x81, 0xC0}), "", "345"},
        // Length 1: T is the only octet; P is the next byte (empty subaddress: 0).
        CallerCase{"LengthOneEmptySubaddress", withCalling({1, 0x81}), "", "345"},
        CallerCase{"LengthOneRestrictedByNextByte", withCalling({1, 0x81, 0x20}), "ISDN Hidden",
                   "345"},
        CallerCase{"CalledLengthZero", Bytes{0, 5, 0x21, 0x80, '3', '0', '1', 0, 0}, "0301", ""},
        CallerCase{"CalledLengthOne", Bytes{1, 0x81, 5, 0x21, 0x80, '3', '0', '1', 0}, "0301", ""},
        CallerCase{"NoParametersAtAll", Bytes{}, "Error", ""}),
    [](const auto &p) { return std::string(p.param.name); });

// Bytes from the line that would split fields, forge log lines or split a log record.
TEST(CallerSafety, ControlCommaQuoteAndHighBytesBecomeQuestionMarks)
{
    const DecodedCall d =
        decodeParams(withCalling({9, 0x21, 0x80, '3', '\t', '\r', '\n', ',', '"', 0xE4}));
    EXPECT_EQ(d.caller, "03??????");
    const DecodedCall m = decodeParams(Bytes{4, 0x81, '3', '\t', 0x7F, 2, 0x81, 0x80, 0});
    EXPECT_EQ(m.msn, "3??");
    // An empty caller puts the MSN first on reading: a '#' there would hide the call.
    const DecodedCall hash = decodeParams(Bytes{4, 0x81, '#', '4', '5', 2, 0x81, 0x80, 0});
    EXPECT_EQ(hash.msn, "?45");
    EXPECT_EQ(hash.caller, "");
}

TEST(CallerSafety, DigitsEndAtPositionHundred)
{
    Bytes p{4, 0x81, '3', '4', '5', 200, 0x21, 0x80};
    p.insert(p.end(), 200, '7');
    const DecodedCall d = decodeParams(p);
    // Positions 9 to 100 hold digits: 92 of them, plus the leading zero.
    EXPECT_EQ(d.caller, "0" + std::string(92, '7'));
}

TEST(CallerSafety, CalledNumberBeyondTheTextGivesError)
{
    Bytes p{120, 0x81};
    p.insert(p.end(), 119, '5');
    const DecodedCall d = decodeParams(p);
    EXPECT_EQ(d.msn, std::string(98, '5'));
    EXPECT_EQ(d.caller, "Error");
}

// Every cut of a message must decode without reading past what arrived (ASan shows it).
TEST(CallerSafety, MessagesCutAtEveryLength)
{
    const Bytes full = msg::connectInd(0x101, msg::callParams("345", "3012345"));
    for (std::size_t n = 8; n <= full.size(); ++n) {
        Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        const DecodedCall d = decodeConnectInd(recordFrom(cut));
        EXPECT_EQ(d.caller.find_first_of("\t\r\n,"), std::string::npos) << n;
        if (n == full.size()) {
            EXPECT_EQ(d.caller, "03012345");
        }
    }
    const DecodedCall half = decodeConnectInd(recordFrom(Bytes(full.begin(), full.begin() + 25)));
    EXPECT_EQ(half.msn, "345");
    EXPECT_EQ(half.caller, "0301"); // a number cut short keeps the digits that arrived
}

struct ReasonCase
{
    std::uint16_t reason;
    const char *text;
};

class ReasonTable : public ::testing::TestWithParam<ReasonCase>
{
};

TEST_P(ReasonTable, MapsToHandlingText)
{
    EXPECT_EQ(handlingText(static_cast<std::int16_t>(GetParam().reason)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(DisconnectInd, ReasonTable,
                         ::testing::Values(ReasonCase{0x3304, "Angenommen am Computer"},
                                           ReasonCase{0x3490, "Anrufer hat aufgelegt"},
                                           ReasonCase{0x349A, "Angenommen am S0-Bus"},
                                           ReasonCase{0x349F, "Anruf umgeleitet"},
                                           ReasonCase{0x34E6, "Abbruch durch VSt"},
                                           ReasonCase{0, "0"}, ReasonCase{0x3301, "13057"},
                                           ReasonCase{0x8000, "-32768"}, ReasonCase{0xFFFF, "-1"}),
                         [](const auto &tc) { return "Reason" + std::to_string(tc.param.reason); });

} // namespace
