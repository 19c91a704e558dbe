#pragma once

#include <cstdint>

/// The CAPI result codes the program tells apart, and one of its own.
namespace CapiResult {
inline constexpr std::uint32_t NoError = 0;
inline constexpr std::uint32_t RegOsResourceError = 0x1008;
inline constexpr std::uint32_t RegNotInstalled = 0x1009;
inline constexpr std::uint32_t IllegalApplId = 0x1101;
inline constexpr std::uint32_t QueueEmpty = 0x1104;
inline constexpr std::uint32_t OsResourceError = 0x1108;
inline constexpr std::uint32_t NotInstalled = 0x1109;
/// Not a CAPI code (those are 16-bit): the adapter found the connection to the line gone
/// or its byte stream out of step.
inline constexpr std::uint32_t LineLost = 0x10000;

/// True for the results after which the registration is of no more use: the application
/// is gone, the transport broke, or CAPI itself went away.
constexpr bool meansLineLost(std::uint32_t result)
{
    return result == LineLost || result == IllegalApplId || result == OsResourceError ||
           result == NotInstalled;
}
} // namespace CapiResult
