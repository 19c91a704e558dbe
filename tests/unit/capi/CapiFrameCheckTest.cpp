#include "capi/CapiFrameCheck.h"

#include "capi/CapiMessageWriter.h"
#include "capi/CapiRecords.h"
#include "tools/capisim/Protocol.h"

#include <gtest/gtest.h>

namespace {

using capisim::Bytes;
using Verdict = CapiFrameCheck::Verdict;

constexpr std::size_t kBuffer = 2048;

/// The message with its Total length field saying `total`, whatever it holds.
Bytes withTotal(Bytes m, std::size_t total)
{
    writeWord(m.data() + HeaderOffset::TotalLength, static_cast<std::uint16_t>(total));
    return m;
}

/// A message of ApplID 1: the header, then the fields the writer puts behind it.
CapiMessageWriter message(std::uint8_t command, std::uint8_t subcommand)
{
    return CapiMessageWriter(command, subcommand, 1);
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
Bytes dataB3(std::uint32_t ncci, std::uint16_t total, std::uint16_t dataLength)
{
    Bytes m = capisim::dataB3Ind(ncci, total, dataLength, 0, 0);
    capisim::setHeader(m, 1, 0x100);
    return m;
}

template<std::size_t N> Bytes bytesOf(const SendRecord<N> &record)
{
    return {record.bytes().begin(), record.bytes().end()};
}

const Bytes kListenReq = [] {
    ListenReqRecord r;
    fillListenReq(r, 1);
    return bytesOf(r);
}();

const Bytes kDisconnectResp = [] {
    DisconnectRespRecord r;
    fillDisconnectResp(r, 1, 0x101, 0);
    return bytesOf(r);
}();

constexpr std::uint8_t kConnectB3 = 0x82;
// INFO_IND: PLCI, Info number, then the Info element's length byte.
constexpr std::size_t kInfoElement = 14;

const Bytes kInfoElementTooLong = [] {
    Bytes m = capisim::infoInd(0x101, 0x18);
    m[kInfoElement] = 5; // announced, not there
    return m;
}();

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
        CheckCase{"ConnectConf",
                  message(CapiCommand::Connect, CapiSubcommand::Conf).dword(0x101).word(0).take(),
                  Verdict::NotUsed},
        CheckCase{"ListenReqEchoed", kListenReq, Verdict::NotUsed},
        CheckCase{"DisconnectResp", kDisconnectResp, Verdict::NotUsed},
        CheckCase{"ConnectB3Ind",
                  message(kConnectB3, CapiSubcommand::Ind).dword(0x10101).structure().take(),
                  Verdict::NotUsed},
        // Lengths that do not agree.
        CheckCase{"Empty", {}, Verdict::BadTotalLength},
        CheckCase{"ShorterThanAHeader",
                  withTotal(Bytes(kListenReq.begin(), kListenReq.begin() + 3), 5),
                  Verdict::BadTotalLength},
        CheckCase{
            "TotalBeyondTheFrame",
            withTotal(message(CapiCommand::Connect, CapiSubcommand::Ind).dword(0x101).take(), 0x40),
            Verdict::BadTotalLength},
        CheckCase{"TotalShortOfTheFrame", withTotal(capisim::disconnectInd(0x101, 0), 12),
                  Verdict::BadTotalLength},
        CheckCase{"DisconnectIndWithoutReason",
                  message(CapiCommand::Disconnect, CapiSubcommand::Ind).dword(0x101).take(),
                  Verdict::BadTotalLength},
        CheckCase{"ConnectIndWithoutCip",
                  message(CapiCommand::Connect, CapiSubcommand::Ind).dword(0x101).take(),
                  Verdict::BadTotalLength},
        CheckCase{"ConnectIndWithoutNumbers",
                  message(CapiCommand::Connect, CapiSubcommand::Ind).dword(0x101).word(1).take(),
                  Verdict::BadStructure},
        CheckCase{"ConnectIndCalledTooLong", connect("0981", "00", ""), Verdict::BadStructure},
        CheckCase{"ConnectIndCallingTooLong", connect("00", "ff2180", ""), Verdict::BadStructure},
        CheckCase{"ConnectIndEscapedTooLong", connect("ff81", "", ""), Verdict::BadStructure},
        CheckCase{"ConnectIndCallingMissing", connect("0281", "", ""), Verdict::BadStructure},
        CheckCase{"InfoIndElementTooLong", kInfoElementTooLong, Verdict::BadStructure},
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
