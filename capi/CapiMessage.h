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

/// A fetched message: where it lies in the CAPI layer's buffer and how many bytes
/// of it are really there (never trust the Total length field beyond that).
struct CapiMessage
{
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
};
