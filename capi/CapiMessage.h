#pragma once

#include <cstddef>
#include <cstdint>

#include "base/LittleEndian.h"

/// Command and subcommand values of the messages this program exchanges.
namespace CapiCommand {
inline constexpr std::uint8_t Alert = 0x01, Connect = 0x02, Disconnect = 0x04, Listen = 0x05,
                              Info = 0x08;
} // namespace CapiCommand

namespace CapiSubcommand {
inline constexpr std::uint8_t Req = 0x80, Conf = 0x81, Ind = 0x82, Resp = 0x83;
} // namespace CapiSubcommand

/// Byte offsets of the message header, common to every CAPI message: Total length (word),
/// ApplID (word), Command, Subcommand, Message number (word).
namespace HeaderOffset {
inline constexpr std::size_t TotalLength = 0, ApplId = 2, Command = 4, Subcommand = 5,
                             MessageNumber = 6, Size = 8;
} // namespace HeaderOffset

/// A fetched message: where it lies in the CAPI layer's buffer and how many bytes
/// of it are really there (never trust the Total length field beyond that).
struct CapiMessage
{
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
};
