#pragma once

#include "capi/CapiMessage.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

/// Byte offsets of the message header, common to every CAPI message.
namespace HeaderOffset {
inline constexpr std::size_t TotalLength = 0;
inline constexpr std::size_t ApplId = 2;
inline constexpr std::size_t Command = 4;
inline constexpr std::size_t Subcommand = 5;
inline constexpr std::size_t MessageNumber = 6;
inline constexpr std::size_t Size = 8;
} // namespace HeaderOffset

namespace ListenReqOffset {
inline constexpr std::size_t Controller = 8;
inline constexpr std::size_t InfoMask = 12;
inline constexpr std::size_t CipMask = 16;
inline constexpr std::size_t CipMask2 = 20;
inline constexpr std::size_t CallingPartyNumber = 24;
inline constexpr std::size_t CallingPartySubaddress = 25;
} // namespace ListenReqOffset

namespace AlertReqOffset {
inline constexpr std::size_t Plci = 8;
inline constexpr std::size_t AdditionalInfo = 12;
} // namespace AlertReqOffset

/// INFO_RESP and DISCONNECT_RESP, and the PLCI of every indication.
namespace PlciOffset {
inline constexpr std::size_t Plci = 8;
} // namespace PlciOffset

/// A message to send, refilled field by field before each send.
template<std::size_t N> class SendRecord
{
public:
    static constexpr std::size_t kSize = N;

    void setByte(std::size_t offset, std::uint8_t value)
    {
        assert(offset < N);
        m_bytes[offset] = value;
    }
    void setWord(std::size_t offset, std::uint16_t value)
    {
        assert(offset + 2 <= N);
        writeWord(m_bytes.data() + offset, value);
    }
    void setDword(std::size_t offset, std::uint32_t value)
    {
        assert(offset + 4 <= N);
        writeDword(m_bytes.data() + offset, value);
    }
    void setHeader(std::uint32_t applId, std::uint8_t command, std::uint8_t subcommand,
                   std::uint16_t messageNumber)
    {
        setWord(HeaderOffset::TotalLength, static_cast<std::uint16_t>(N));
        setApplId(applId);
        setByte(HeaderOffset::Command, command);
        setByte(HeaderOffset::Subcommand, subcommand);
        setWord(HeaderOffset::MessageNumber, messageNumber);
    }
    /// CAPI identifiers are 16-bit: the field takes the identifier's low word.
    void setApplId(std::uint32_t applId)
    {
        setWord(HeaderOffset::ApplId, static_cast<std::uint16_t>(applId));
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
