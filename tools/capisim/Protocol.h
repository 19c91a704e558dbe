#pragma once

#include "tools/simcore/ScenarioText.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

/// CAPI over TCP as libcapi20's "fritzbox" module speaks it, from the peer's side.
namespace capisim {

using Bytes = std::vector<std::uint8_t>;

/// Largest frame payload the library's reader can take.
inline constexpr std::size_t kMaxFrame = 4096;
inline constexpr std::uint8_t kFrameType = 0x80;

/// Splits the byte stream from one connection into frames: 0x80, a 16-bit little-endian
/// length, the payload. A wrong type byte or an oversized length breaks the stream for good.
class FrameReader
{
public:
    enum class Status { Frame, NeedMore, Broken };

    void feed(const std::uint8_t *data, std::size_t size);
    /// The next whole frame's payload, if there is one.
    Status next(Bytes &payload);
    /// Why the stream broke: "type" or "length".
    const std::string &error() const { return m_error; }

private:
    Bytes m_buffer;
    std::size_t m_start = 0;
    std::string m_error;
};

/// A frame around a payload (at most kMaxFrame bytes, else std::length_error).
Bytes frame(const Bytes &payload);

/// The library's own requests, command 0x20 0x80, told apart by the byte at offset 11.
struct Management
{
    enum class Kind { Register, Release, Profile, Unknown };
    Kind kind = Kind::Unknown;
    std::uint16_t applId = 0;
    std::uint16_t maxLogicalConnection = 0;
    std::uint16_t maxBDataBlocks = 0;
    std::uint16_t maxBDataLen = 0;
    std::uint16_t controller = 0;
};
std::optional<Management> parseManagement(const Bytes &payload);

/// Replies to the library's requests: a 2-byte header (0x80, 8-bit length) and the body,
/// to go out in one send.
Bytes registerReply(std::uint16_t applId, std::uint16_t error);
Bytes profileReply(std::uint16_t controller);

/// What a CONNECT_IND carries; the raw fields replace the structures built from the others.
struct ConnectSpec
{
    std::uint32_t plci = 0x101;
    std::uint16_t cip = 1;
    std::string called;
    std::uint8_t calledTon = 0x81;
    std::string calling;
    std::uint8_t ton = 0x21;
    std::uint8_t pi = 0x80;
    std::optional<Bytes> calledRaw;
    std::optional<Bytes> callingRaw;
    std::optional<Bytes> restRaw;
};

/// A message: the header (ApplID and Message number 0, see setHeader), the parameter bytes,
/// the Total length field set.
Bytes message(std::uint8_t command, std::uint8_t subcommand, const Bytes &parameters = {});
/// A CONNECT_IND's parameters after PLCI and CIP Value: the called and calling party numbers
/// and the structures behind them.
Bytes connectParameters(const ConnectSpec &spec);
Bytes connectInd(const ConnectSpec &spec);
Bytes disconnectInd(std::uint32_t plci, std::uint16_t reason);
Bytes infoInd(std::uint32_t plci, std::uint16_t infoNumber);
Bytes listenConf(std::uint16_t applId, std::uint16_t number, std::uint32_t controller,
                 std::uint16_t info);
Bytes alertConf(std::uint16_t applId, std::uint16_t number, std::uint32_t plci, std::uint16_t info);
/// DATA_B3_IND with NCCI, Data (32 bit, 0), Data Length, Data Handle, Flags and Data64
/// (0), cut or padded to `total` bytes (at least 8), the Total length field saying so, and
/// `dataBytes` bytes of data (0x55) behind the message.
Bytes dataB3Ind(std::uint32_t ncci, std::uint16_t total, std::uint16_t dataLength,
                std::uint16_t handle, std::size_t dataBytes);
/// Writes ApplID and Message number into a message of at least 8 bytes.
void setHeader(Bytes &message, std::uint16_t applId, std::uint16_t number);

/// A message's name and fields as the transcript shows them.
struct Decoded
{
    std::string name;
    std::vector<std::pair<std::string, std::string>> fields;
};
/// Decodes a CAPI message, or a management request when the payload is one.
Decoded decode(const Bytes &payload);
std::string commandName(std::uint8_t command, std::uint8_t subcommand);

std::string hexWord(std::uint32_t value);
using simcore::fromHex;
using simcore::toHex;

} // namespace capisim
