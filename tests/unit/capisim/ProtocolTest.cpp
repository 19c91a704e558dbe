#include "tools/capisim/Protocol.h"
#include "tools/capisim/Transcript.h"

#include <gtest/gtest.h>

namespace {

using capisim::Bytes;
using capisim::FrameReader;

TEST(FrameReader, SplitsFramesWhateverTheChunks)
{
    const Bytes stream{0x80, 0x02, 0x00, 0xaa, 0xbb, 0x80, 0x00, 0x00, 0x80, 0x01, 0x00, 0xcc};
    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        FrameReader r;
        std::vector<Bytes> frames;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            r.feed(stream.data() + at, std::min(chunk, stream.size() - at));
            Bytes p;
            while (r.next(p) == FrameReader::Status::Frame)
                frames.push_back(p);
        }
        ASSERT_EQ(frames.size(), 3u) << "chunk " << chunk;
        EXPECT_EQ(frames[0], (Bytes{0xaa, 0xbb}));
        EXPECT_EQ(frames[1], Bytes{});
        EXPECT_EQ(frames[2], Bytes{0xcc});
    }
}

TEST(FrameReader, TruncatedFrameWaitsForTheRest)
{
    FrameReader r;
    const Bytes part{0x80, 0x05, 0x00, 1, 2};
    r.feed(part.data(), part.size());
    Bytes p;
    EXPECT_EQ(r.next(p), FrameReader::Status::NeedMore);
}

TEST(FrameReader, WrongTypeOrOversizedLengthBreaksTheStream)
{
    struct Case
    {
        Bytes bytes;
        const char *error;
    };
    for (const Case &c : {Case{{0x41, 0x42, 0x43}, "type"}, Case{{0x80, 0x01, 0x10}, "length"},
                          Case{{0x80, 0x00, 0x00, 0x00}, "type"}}) {
        FrameReader r;
        r.feed(c.bytes.data(), c.bytes.size());
        Bytes p;
        auto s = r.next(p);
        if (s == FrameReader::Status::Frame)
            s = r.next(p);
        EXPECT_EQ(s, FrameReader::Status::Broken);
        EXPECT_EQ(r.error(), c.error);
        EXPECT_EQ(r.next(p), FrameReader::Status::Broken); // for good
    }
}

TEST(FrameReader, LargestFrameIsTaken)
{
    const Bytes payload(capisim::kMaxFrame, 7);
    const Bytes f = capisim::frame(payload);
    FrameReader r;
    r.feed(f.data(), f.size());
    Bytes p;
    ASSERT_EQ(r.next(p), FrameReader::Status::Frame);
    EXPECT_EQ(p.size(), capisim::kMaxFrame);
    EXPECT_THROW(capisim::frame(Bytes(capisim::kMaxFrame + 1)), std::length_error);
}

// The library's registration request as it sends it, less the 3-byte frame header.
const Bytes kRegister{0x14, 0x00, 0x00, 0x00, 0x20, 0x80, 0x01, 0x00, 0x02, 0x00,
                      0x09, 0x00, 0x00, 0x06, 0x02, 0x00, 0x07, 0x00, 0x00, 0x08};
const Bytes kRelease{0x0e, 0x00, 0x2a, 0x00, 0x20, 0x80, 0x01,
                     0x00, 0x02, 0x00, 0x03, 0x01, 0x00, 0x00};
const Bytes kProfile{0x12, 0x00, 0x00, 0x00, 0x20, 0x80, 0x01, 0x00, 0x02,
                     0x00, 0x05, 0x02, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00};

TEST(Management, RecognisesRegisterReleaseAndProfile)
{
    const auto reg = capisim::parseManagement(kRegister);
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->kind, capisim::Management::Kind::Register);
    EXPECT_EQ(reg->maxLogicalConnection, 2);
    EXPECT_EQ(reg->maxBDataBlocks, 7);
    EXPECT_EQ(reg->maxBDataLen, 2048);
    const auto rel = capisim::parseManagement(kRelease);
    ASSERT_TRUE(rel);
    EXPECT_EQ(rel->kind, capisim::Management::Kind::Release);
    EXPECT_EQ(rel->applId, 42);
    const auto prof = capisim::parseManagement(kProfile);
    ASSERT_TRUE(prof);
    EXPECT_EQ(prof->kind, capisim::Management::Kind::Profile);
    EXPECT_EQ(prof->controller, 1);
    EXPECT_FALSE(capisim::parseManagement(Bytes{0x0c, 0, 1, 0, 0x05, 0x80, 0, 0, 1, 0, 0, 0}));
}

// The library reads a 2-byte header and one recv of that length: ApplID at body offset 2,
// an error word at 16.
TEST(Management, RegisterReplyHasTheTwoByteHeader)
{
    const Bytes want{0x80, 0x12, 0x12, 0x00, 0x2a, 0x01, 0x20, 0x81, 0x01, 0x00,
                     0,    0,    0,    0,    0,    0,    0,    0,    0,    0};
    EXPECT_EQ(capisim::registerReply(0x12a, 0), want);
    const Bytes refused = capisim::registerReply(1, 0x1001);
    EXPECT_EQ(refused[2 + 16], 0x01);
    EXPECT_EQ(refused[2 + 17], 0x10);
    const Bytes profile = capisim::profileReply(1);
    EXPECT_EQ(profile[1], profile.size() - 2);
    EXPECT_GE(profile.size() - 2, 18u + 64u); // the library copies 64 bytes from 18
}

TEST(Messages, ConnectIndLaysOutTheNumbers)
{
    capisim::ConnectSpec s;
    s.plci = 0x101;
    s.called = "345";
    s.calling = "301";
    s.ton = 0x21;
    s.pi = 0x80;
    const Bytes want{33,  0,   0,   0, 0x02, 0x82, 0,   0,   0x01, 0x01, 0, 0, 1, 0, 4, 0x81,
                     '3', '4', '5', 5, 0x21, 0x80, '3', '0', '1',  0,    0, 0, 0, 0, 0, 0};
    // 8 header + 4 PLCI + 2 CIP + 5 called + 6 calling + 7 empty structures = 32
    Bytes got = capisim::connectInd(s);
    EXPECT_EQ(got.size(), 32u);
    Bytes w = want;
    w[0] = 32;
    EXPECT_EQ(got, w);
}

TEST(Messages, RawStructuresReplaceTheBuiltOnes)
{
    capisim::ConnectSpec s;
    s.callingRaw = Bytes{0x01, 0x81};
    s.calledRaw = Bytes{0x00};
    s.restRaw = Bytes{};
    const Bytes got = capisim::connectInd(s);
    EXPECT_EQ(got,
              (Bytes{17, 0, 0, 0, 0x02, 0x82, 0, 0, 0x01, 0x01, 0, 0, 1, 0, 0x00, 0x01, 0x81}));
}

TEST(Messages, IndicationsAndConfirmations)
{
    EXPECT_EQ(capisim::disconnectInd(0x101, 0x349a),
              (Bytes{14, 0, 0, 0, 0x04, 0x82, 0, 0, 0x01, 0x01, 0, 0, 0x9a, 0x34}));
    EXPECT_EQ(capisim::infoInd(0x101, 0x18),
              (Bytes{15, 0, 0, 0, 0x08, 0x82, 0, 0, 0x01, 0x01, 0, 0, 0x18, 0, 0}));
    EXPECT_EQ(capisim::listenConf(7, 1, 1, 0x2002),
              (Bytes{14, 0, 7, 0, 0x05, 0x81, 1, 0, 1, 0, 0, 0, 0x02, 0x20}));
    EXPECT_EQ(capisim::alertConf(7, 0, 0x101, 0),
              (Bytes{14, 0, 7, 0, 0x01, 0x81, 0, 0, 0x01, 0x01, 0, 0, 0, 0}));
}

struct DecodeCase
{
    Bytes message;
    const char *line; // the transcript line after the time
};

TEST(Transcript, DecodesWhatTheProgramPuts)
{
    const DecodeCase cases[] = {
        {{17, 0, 1, 0, 0x01, 0x80, 0, 0, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0},
         "ALERT_REQ appl=1 msg=0 plci=0x101 len=17 | 11 00 01 00 01 80 00 00 01 01 00 00 00 00 "
         "00 00 00"},
        {{26, 0, 3, 0, 0x05, 0x80, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         "LISTEN_REQ appl=3 msg=1 ctrl=1 info=0x0 cip=0x1 cip2=0x0 len=26 | 1a 00 03 00 05 80 01 "
         "00 01 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 00 00"},
        {{12, 0, 3, 0, 0x04, 0x83, 0, 0, 0x02, 0x01, 0, 0},
         "DISCONNECT_RESP appl=3 msg=0 plci=0x102 len=12 | 0c 00 03 00 04 83 00 00 02 01 00 00"},
        {{12, 0, 3, 0, 0x08, 0x83, 0, 0, 0, 0, 0, 0},
         "INFO_RESP appl=3 msg=0 plci=0x0 len=12 | 0c 00 03 00 08 83 00 00 00 00 00 00"},
        {{9, 0, 3, 0, 0x77, 0x80, 0, 0, 0},
         "CMD_77_80 appl=3 msg=0 len=9 | 09 00 03 00 77 80 00 00 00"},
        {{0x30, 0, 3, 0, 0x01, 0x80, 0, 0},
         "ALERT_REQ appl=3 msg=0 len=48 size=8 | 30 00 03 00 01 80 00 00"},
        {{5, 0, 1}, "SHORT size=3 | 05 00 01"},
        {kRelease, "RELEASE appl=42 | 0e 00 2a 00 20 80 01 00 02 00 03 01 00 00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(
            capisim::formatTranscriptLine("12:00:01.123", capisim::decode(c.message), c.message),
            std::string("12:00:01.123 ") + c.line);
}

TEST(Transcript, LinesParseBack)
{
    const Bytes m{17, 0, 1, 0, 0x01, 0x80, 0, 0, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0};
    const auto e = capisim::parseTranscriptLine(
        capisim::formatTranscriptLine("12:00:01.123", capisim::decode(m), m));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->time, "12:00:01.123");
    EXPECT_EQ(e->name, "ALERT_REQ");
    EXPECT_EQ(e->fields.at("plci"), "0x101");
    EXPECT_EQ(e->bytes, m);
    const auto event = capisim::parseTranscriptLine("12:00:01.123 OPEN conn=2 |");
    ASSERT_TRUE(event);
    EXPECT_TRUE(event->bytes.empty());
    EXPECT_FALSE(capisim::parseTranscriptLine("garbage"));
    EXPECT_FALSE(capisim::parseTranscriptLine("12:00 X novalue |"));
    EXPECT_FALSE(capisim::parseTranscriptLine("12:00 X a=1 | zz"));
}

TEST(Transcript, ConditionsCompareNumbersAsNumbers)
{
    capisim::TranscriptEntry e;
    e.name = "ALERT_REQ";
    e.fields = {{"plci", "0x101"}, {"appl", "3"}};
    EXPECT_TRUE(capisim::matches(e, {"ALERT_REQ", {}}));
    EXPECT_TRUE(capisim::matches(e, {"ALERT_REQ", {{"plci", "257"}}}));
    EXPECT_TRUE(capisim::matches(e, {"ALERT_REQ", {{"plci", "0x0101"}, {"appl", "3"}}}));
    EXPECT_FALSE(capisim::matches(e, {"ALERT_REQ", {{"plci", "0x102"}}}));
    EXPECT_FALSE(capisim::matches(e, {"ALERT_REQ", {{"ncci", "1"}}}));
    EXPECT_FALSE(capisim::matches(e, {"INFO_RESP", {}}));
}

TEST(Hex, RoundTripsAndRejectsBadText)
{
    EXPECT_EQ(capisim::fromHex("80 0e 00"), (Bytes{0x80, 0x0e, 0x00}));
    EXPECT_EQ(capisim::fromHex("800E00"), (Bytes{0x80, 0x0e, 0x00}));
    EXPECT_EQ(capisim::toHex(Bytes{0x80, 0x0e}), "80 0e");
    EXPECT_THROW(capisim::fromHex("8"), std::invalid_argument);
    EXPECT_THROW(capisim::fromHex("zz"), std::invalid_argument);
}

} // namespace
