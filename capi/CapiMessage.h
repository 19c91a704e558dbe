#pragma once

#include <cstddef>
#include <cstdint>

#include "base/LittleEndian.h"

/// Command and subcommand values of the messages this program exchanges.
namespace CapiCommand {
inline constexpr std::uint8_t Alert = 0x01;
inline constexpr std::uint8_t Connect = 0x02;
inline constexpr std::uint8_t Disconnect = 0x04;
inline constexpr std::uint8_t Listen = 0x05;
inline constexpr std::uint8_t Info = 0x08;
} // namespace CapiCommand

namespace CapiSubcommand {
inline constexpr std::uint8_t Req = 0x80;
inline constexpr std::uint8_t Conf = 0x81;
inline constexpr std::uint8_t Ind = 0x82;
inline constexpr std::uint8_t Resp = 0x83;
} // namespace CapiSubcommand

/// Byte offsets of the message header, common to every CAPI message.
namespace HeaderOffset {
inline constexpr std::size_t TotalLength = 0;
inline constexpr std::size_t ApplId = 2;
inline constexpr std::size_t Command = 4;
inline constexpr std::size_t Subcommand = 5;
inline constexpr std::size_t MessageNumber = 6;
inline constexpr std::size_t Size = 8;
} // namespace HeaderOffset

/// A fetched message: where it lies in the CAPI layer's buffer and how many bytes
/// of it are really there (never trust the Total length field beyond that).
struct CapiMessage
{
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
};
