#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

/// Which frames from a remote CAPI peer may reach libcapi20. The library trusts the peer:
/// a DATA_B3_IND with a Total length below 30 makes it move up to 64 KiB past its receive
/// buffer, one with NCCI 0 trips an assert at the next DISCONNECT_IND. So only the
/// messages this program uses pass, and only when their lengths agree.
namespace CapiFrameCheck {

enum class Verdict {
    Pass,
    NotUsed,         // a message the program does not take (DATA_B3_IND above all)
    BadTotalLength,  // shorter than its fields, or not the frame's length
    BadStructure,    // a structure that claims more bytes than the message has
    LongerThanBuffer // would not fit the library's receive buffer whole
};

/// The verdict on one frame's payload (the CAPI message, frame header taken off).
Verdict check(std::span<const std::uint8_t> message, std::size_t receiveBufferSize);

/// Short name of a verdict for notices and test output.
const char *name(Verdict verdict);

} // namespace CapiFrameCheck
