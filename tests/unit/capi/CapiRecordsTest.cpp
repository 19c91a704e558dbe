#include "capi/CapiRecords.h"

#include "tests/fakes/CapiMessages.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

template<std::size_t N> std::vector<std::uint8_t> bytesOf(const SendRecord<N> &r)
{
    return {r.bytes().begin(), r.bytes().end()};
}

using B = std::vector<std::uint8_t>;

struct SendCase
{
    std::uint32_t applId;
    std::uint8_t lo, hi;
};

class SendRecords : public ::testing::TestWithParam<SendCase>
{
};

TEST_P(SendRecords, ListenReqIsByteExact)
{
    const auto c = GetParam();
    ListenReqRecord r;
    fillListenReq(r, c.applId);
    EXPECT_EQ(bytesOf(r), (B{26, 0, c.lo, c.hi, 0x05, 0x80, 1, 0, 1, 0, 0, 0, 0,
                             0,  0, 0,    1,    0,    0,    0, 0, 0, 0, 0, 0, 0}));
}

TEST_P(SendRecords, AlertReqIsByteExactWithTrailingZerosCounted)
{
    const auto c = GetParam();
    AlertReqRecord r;
    fillAlertReq(r, c.applId, 0x00010203);
    EXPECT_EQ(bytesOf(r),
              (B{17, 0, c.lo, c.hi, 0x01, 0x80, 0, 0, 0x03, 0x02, 0x01, 0x00, 0, 0, 0, 0, 0}));
}

TEST_P(SendRecords, InfoRespIsByteExact)
{
    const auto c = GetParam();
    InfoRespRecord r;
    fillInfoResp(r, c.applId, 0x0201, 7);
    EXPECT_EQ(bytesOf(r), (B{12, 0, c.lo, c.hi, 0x08, 0x83, 7, 0, 0x01, 0x02, 0, 0}));
}

TEST_P(SendRecords, DisconnectRespIsByteExact)
{
    const auto c = GetParam();
    DisconnectRespRecord r;
    fillDisconnectResp(r, c.applId, 0x8101, 0x1234);
    EXPECT_EQ(bytesOf(r), (B{12, 0, c.lo, c.hi, 0x04, 0x83, 0x34, 0x12, 0x01, 0x81, 0, 0}));
}

// 40000 is above the signed 16-bit range: it must go out as the unsigned word 0x9C40.
INSTANTIATE_TEST_SUITE_P(ApplIds, SendRecords,
                         ::testing::Values(SendCase{1, 0x01, 0x00}, SendCase{40000, 0x40, 0x9C}));

TEST(SendRecords, RefillOverwritesEveryField)
{
    AlertReqRecord r;
    fillAlertReq(r, 5, 0xFFFFFFFF);
    fillAlertReq(r, 6, 0x101);
    EXPECT_EQ(bytesOf(r), (B{17, 0, 6, 0, 0x01, 0x80, 0, 0, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(HeaderRecord, CopiesTheFirstEightBytes)
{
    const auto m = msg::withPlci(0x05, 0x81, 0x01, 0xBEEF, {0x00, 0x20});
    HeaderRecord h;
    ASSERT_TRUE(h.copyFrom({m.data(), m.size()}));
    EXPECT_EQ(h.totalLength, 14);
    EXPECT_EQ(h.applId, 1);
    EXPECT_EQ(h.command, 0x05);
    EXPECT_EQ(h.subcommand, 0x81);
    EXPECT_EQ(h.messageNumber, 0xBEEF);
}

TEST(HeaderRecord, RefusesAMessageShorterThanAHeader)
{
    const std::vector<std::uint8_t> m{5, 0, 1, 0, 0x02};
    HeaderRecord h;
    h.command = 0x42;
    EXPECT_FALSE(h.copyFrom({m.data(), m.size()}));
    EXPECT_EQ(h.command, 0x42);
}

TEST(ConnectIndRecord, TakesPlciCipAndParameterText)
{
    const auto m = msg::connectInd(0x0301, msg::callParams("345", "301"));
    HeaderRecord h;
    ASSERT_TRUE(h.copyFrom({m.data(), m.size()}));
    ConnectIndRecord r;
    r.copyFrom({m.data(), m.size()}, h);
    EXPECT_EQ(r.plci, 0x0301u);
    EXPECT_EQ(r.cipValue, 1);
    EXPECT_EQ(r.paramCount, m.size() - 14);
    EXPECT_EQ(r.params[0], 4);
    EXPECT_EQ(r.params[2], '3');
    EXPECT_EQ(r.params[r.paramCount], 0);
}

// A Total length that promises more than arrived must not lead to a read past the data.
TEST(ConnectIndRecord, ReadsOnlyTheBytesThatArrived)
{
    auto m = msg::connectInd(0x0301, msg::callParams("345", "301"));
    m[0] = 200; // announced, not delivered
    const std::size_t cut = 17;
    std::vector<std::uint8_t> shortMsg(m.begin(), m.begin() + cut);
    HeaderRecord h;
    ASSERT_TRUE(h.copyFrom({shortMsg.data(), shortMsg.size()}));
    ConnectIndRecord r;
    r.params.fill(0xEE);
    r.copyFrom({shortMsg.data(), shortMsg.size()}, h);
    EXPECT_EQ(r.paramCount, 3u);
    EXPECT_EQ(r.params[3], 0);
}

TEST(ConnectIndRecord, TotalLengthBelowWhatArrivedLimitsTheCopy)
{
    auto m = msg::connectInd(0x0301, msg::callParams("345", "301"));
    m[0] = 16; // only PLCI, CIP and two parameter bytes are announced
    HeaderRecord h;
    ASSERT_TRUE(h.copyFrom({m.data(), m.size()}));
    ConnectIndRecord r;
    r.copyFrom({m.data(), m.size()}, h);
    EXPECT_EQ(r.paramCount, 2u);
    EXPECT_EQ(r.params[2], 0);
}

TEST(ConnectIndRecord, KeepsOnlyTheFirstHundredParameterBytes)
{
    msg::Bytes params(150, '7');
    const auto m = msg::connectInd(0x0301, params);
    HeaderRecord h;
    ASSERT_TRUE(h.copyFrom({m.data(), m.size()}));
    ConnectIndRecord r;
    r.copyFrom({m.data(), m.size()}, h);
    EXPECT_EQ(r.paramCount, 100u);
    EXPECT_EQ(r.params[99], '7');
}

TEST(DisconnectIndRecord, ReasonIsSigned)
{
    const auto m = msg::disconnectInd(0x0101, 0x8000);
    HeaderRecord h;
    ASSERT_TRUE(h.copyFrom({m.data(), m.size()}));
    DisconnectIndRecord r;
    r.copyFrom({m.data(), m.size()}, h);
    EXPECT_EQ(r.plci, 0x0101u);
    EXPECT_EQ(r.reason, -32768);
}

TEST(DisconnectIndRecord, MissingReasonIsZero)
{
    auto m = msg::disconnectInd(0x0101, 0x349A);
    m.resize(12);
    m[0] = 12;
    HeaderRecord h;
    ASSERT_TRUE(h.copyFrom({m.data(), m.size()}));
    DisconnectIndRecord r;
    r.reason = 5;
    r.copyFrom({m.data(), m.size()}, h);
    EXPECT_EQ(r.plci, 0x0101u);
    EXPECT_EQ(r.reason, 0);
}

} // namespace
