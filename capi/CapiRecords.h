#pragma once

#include "capi/CapiMessage.h"
#include "capi/CapiMessageWriter.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

/// Where capisim reads the fields of the LISTEN_REQ that fillListenReq writes, dwords all.
namespace ListenReqOffset {
inline constexpr std::size_t Controller = 8, InfoMask = 12, CipMask = 16, CipMask2 = 20;
} // namespace ListenReqOffset

/// The PLCI of every indication and of the responses and requests that answer one.
namespace PlciOffset {
inline constexpr std::size_t Plci = 8;
} // namespace PlciOffset

/// A message to send, written whole before each send.
template<std::size_t N> class SendRecord
{
public:
    static constexpr std::size_t kSize = N;

    void assign(const CapiMessageWriter &writer)
    {
        const auto &message = writer.message();
        assert(message.size() == N);
        // Never past the record, even where the assert is compiled out.
        std::copy_n(message.begin(), std::min(N, message.size()), m_bytes.begin());
    }

    std::span<const std::uint8_t, N> bytes() const { return m_bytes; }

private:
    std::array<std::uint8_t, N> m_bytes{};
};

using ListenReqRecord = SendRecord<26>;
using AlertReqRecord = SendRecord<17>;
using InfoRespRecord = SendRecord<12>;
using DisconnectRespRecord = SendRecord<12>;

/// LISTEN_REQ for every incoming call on controller 1, no INFO_IND asked for.
void fillListenReq(ListenReqRecord &record, std::uint32_t applId);
/// ALERT_REQ for the call with this PLCI; no Additional Info.
void fillAlertReq(AlertReqRecord &record, std::uint32_t applId, std::uint32_t plci);
/// A response to the indication with this PLCI and Message number.
void fillInfoResp(InfoRespRecord &record, std::uint32_t applId, std::uint32_t plci,
                  std::uint16_t messageNumber);
void fillDisconnectResp(DisconnectRespRecord &record, std::uint32_t applId, std::uint32_t plci,
                        std::uint16_t messageNumber);

/// The first 8 bytes of a fetched message.
struct HeaderRecord
{
    std::int16_t totalLength = 0;
    std::uint16_t applId = 0;
    std::uint8_t command = 0;
    std::uint8_t subcommand = 0;
    std::uint16_t messageNumber = 0;

    /// False (and the record untouched) when the message is shorter than a header.
    bool copyFrom(const CapiMessage &message);
};

/// The parameters of the latest CONNECT_IND: PLCI, CIP Value and the first 100
/// parameter bytes (Called party number onwards).
struct ConnectIndRecord
{
    /// 100 bytes hold the called and the calling party number, which come first and are
    /// all that is read.
    static constexpr std::size_t kParamChars = 100;
    static constexpr std::size_t kSize = 4 + 2 + kParamChars;

    std::uint32_t plci = 0;
    std::uint16_t cipValue = 0;
    std::array<std::uint8_t, kParamChars> params{};
    /// How many of params came with the message; the rest are zero and absent.
    std::size_t paramCount = 0;

    void copyFrom(const CapiMessage &message, const HeaderRecord &header);
};

/// PLCI and Reason of the latest DISCONNECT_IND.
struct DisconnectIndRecord
{
    static constexpr std::size_t kSize = 6;

    std::uint32_t plci = 0;
    std::int16_t reason = 0;

    void copyFrom(const CapiMessage &message, const HeaderRecord &header);
};

/// The bytes of a message's parameter part (from offset 8) that are both announced by
/// its Total length and actually present.
std::span<const std::uint8_t> parameterBytes(const CapiMessage &message,
                                             const HeaderRecord &header);
