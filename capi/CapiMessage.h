#pragma once

#include <cstddef>
#include <cstdint>

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

/// Little-endian field access, bounded by the bytes that exist.
inline std::uint16_t readWord(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readDword(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
