#include "capi/CapiFrameCheck.h"

#include "tools/capisim/Protocol.h"

#include <gtest/gtest.h>

namespace {

using capisim::Bytes;
using Verdict = CapiFrameCheck::Verdict;

constexpr std::size_t kBuffer = 2048;

Bytes withTotal(Bytes m, std::size_t total)
{
    m[0] = static_cast<std::uint8_t>(total);
    m[1] = static_cast<std::uint8_t>(total >> 8);
    return m;
}

Bytes connect(const std::string &calledRaw, const std::string &callingRaw,
              const std::string &rest = "00000000000000")
{
    capisim::ConnectSpec s;
    s.calledRaw = capisim::fromHex(calledRaw);
    s.callingRaw = capisim::fromHex(callingRaw);
    s.restRaw = capisim::fromHex(rest);
    return capisim::connectInd(s);
}

/// DATA_B3_IND: NCCI, Data (32 bit), Data Length, Data Handle, Flags, [Data64].
Bytes dataB3(std::uint32_t ncci, std::size_t total, std::uint16_t dataLength)
{
    Bytes m = capisim::fromHex("00 00 01 00 86 82 00 01");
    for (int i = 0; i < 4; ++i)
        m.push_back(static_cast<std::uint8_t>(ncci >> (8 * i)));
    m.insert(m.end(), 4, 0);
    m.push_back(static_cast<std::uint8_t>(dataLength));
    m.push_back(static_cast<std::uint8_t>(dataLength >> 8));
    m.insert(m.end(), 4, 0);
    m.resize(total, 0);
    return withTotal(m, total);
}

struct CheckCase
{
    const char *name;
    Bytes message;
    Verdict want;
};

class Check : public ::testing::TestWithParam<CheckCase>
{
};

TEST_P(Check, Verdict)
{
    EXPECT_EQ(CapiFrameCheck::check(GetParam().message, kBuffer), GetParam().want)
        << CapiFrameCheck::name(CapiFrameCheck::check(GetParam().message, kBuffer));
}

const Bytes kConnect = [] {
    capisim::ConnectSpec s;
    s.called = "345";
    s.calling = "3011";
    return capisim::connectInd(s);
}();

INSTANTIATE_TEST_SUITE_P(
    Messages, Check,
    ::testing::Values(
        // What the program takes.
        CheckCase{"ConnectInd", kConnect, Verdict::Pass},
        CheckCase{"ConnectIndNoDigits", connect("00", "00", ""), Verdict::Pass},
        CheckCase{"ConnectIndEscapedLength", connect("ff0300813435", "022180"), Verdict::Pass},
        // Garbage behind the two numbers is read by nobody.
        CheckCase{"ConnectIndGarbageAfterTheNumbers", connect("00", "00", "ffffff"), Verdict::Pass},
        CheckCase{"DisconnectInd", capisim::disconnectInd(0x101, 0x3490), Verdict::Pass},
        CheckCase{"InfoInd", capisim::infoInd(0x101, 0x18), Verdict::Pass},
        CheckCase{"ListenConf", capisim::listenConf(1, 1, 1, 0), Verdict::Pass},
        CheckCase{"ListenConfRefused", capisim::listenConf(1, 1, 1, 0x2002), Verdict::Pass},
        CheckCase{"AlertConf", capisim::alertConf(1, 1, 0x101, 0), Verdict::Pass},
        // What it does not take.
        CheckCase{"DataB3Ind", dataB3(0x10101, 30, 16), Verdict::NotUsed},
        CheckCase{"DataB3IndShortTotal", dataB3(0x10101, 22, 0xffff), Verdict::NotUsed},
        CheckCase{"DataB3IndNcci0", dataB3(0, 30, 4), Verdict::NotUsed},
        CheckCase{"ConnectConf", capisim::fromHex("0e 00 01 00 02 81 00 00 01 01 00 00 00 00"),
                  Verdict::NotUsed},
        CheckCase{"ListenReqEchoed", capisim::fromHex("0e 00 01 00 05 80 00 00 01 00 00 00 00 00"),
                  Verdict::NotUsed},
        CheckCase{"DisconnectResp", capisim::fromHex("0c 00 01 00 04 83 00 00 01 01 00 00"),
                  Verdict::NotUsed},
        CheckCase{"ConnectB3Ind", capisim::fromHex("0d 00 01 00 82 82 00 00 01 01 01 00 00"),
                  Verdict::NotUsed},
        // Lengths that do not agree.
        CheckCase{"Empty", {}, Verdict::BadTotalLength},
        CheckCase{"ShorterThanAHeader", capisim::fromHex("05 00 01"), Verdict::BadTotalLength},
        CheckCase{"TotalBeyondTheFrame", capisim::fromHex("40 00 00 00 02 82 00 00 01 01 00 00"),
                  Verdict::BadTotalLength},
        CheckCase{"TotalShortOfTheFrame", withTotal(capisim::disconnectInd(0x101, 0), 12),
                  Verdict::BadTotalLength},
        CheckCase{"DisconnectIndWithoutReason",
                  capisim::fromHex("0c 00 01 00 04 82 00 00 01 01 00 00"), Verdict::BadTotalLength},
        CheckCase{"ConnectIndWithoutCip", capisim::fromHex("0c 00 01 00 02 82 00 00 01 01 00 00"),
                  Verdict::BadTotalLength},
        CheckCase{"ConnectIndWithoutNumbers",
                  capisim::fromHex("0e 00 01 00 02 82 00 00 01 01 00 00 01 00"),
                  Verdict::BadStructure},
        CheckCase{"ConnectIndCalledTooLong", connect("0981", "00", ""), Verdict::BadStructure},
        CheckCase{"ConnectIndCallingTooLong", connect("00", "ff2180", ""), Verdict::BadStructure},
        CheckCase{"ConnectIndEscapedTooLong", connect("ff81", "", ""), Verdict::BadStructure},
        CheckCase{"ConnectIndCallingMissing", connect("0281", "", ""), Verdict::BadStructure},
        CheckCase{"InfoIndElementTooLong",
                  capisim::fromHex("0f 00 01 00 08 82 00 00 01 01 00 00 18 00 05"),
                  Verdict::BadStructure},
        CheckCase{"LongerThanTheReceiveBuffer", connect("00", "00", std::string(4100, 'a')),
                  Verdict::LongerThanBuffer}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(CheckBuffer, TheLibrarysReceiveBufferIsTheLimit)
{
    const Bytes m = connect("00", "00", std::string(2 * 2100, '0'));
    EXPECT_EQ(CapiFrameCheck::check(m, m.size() - 1), Verdict::LongerThanBuffer);
    EXPECT_EQ(CapiFrameCheck::check(m, m.size()), Verdict::Pass);
}

} // namespace
