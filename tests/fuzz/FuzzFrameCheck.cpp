// Frames from a remote CAPI peer: the check that decides which of them libcapi20 may see.
// What passes must be whole, fit the library's receive buffer and be a message the
// program uses.
#include "capi/CapiFrameCheck.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte picks the receive buffer size: 2048 (the library's least) or more.
    if (size < 1)
        return 0;
    const std::size_t buffer = 2048 + 64 * data[0];
    const std::span<const std::uint8_t> message(data + 1, size - 1);
    const auto verdict = CapiFrameCheck::check(message, buffer);
    if (verdict != CapiFrameCheck::Verdict::Pass)
        return 0;
    const std::size_t total = message[0] | (message[1] << 8);
    if (total != message.size() || total > buffer || total < 14)
        std::abort();
    const std::uint8_t command = message[4];
    const std::uint8_t sub = message[5];
    const bool used = (sub == 0x82 && (command == 0x02 || command == 0x04 || command == 0x08)) ||
                      (sub == 0x81 && (command == 0x05 || command == 0x01));
    if (!used)
        std::abort();
    return 0;
}
