// Frames from a remote CAPI peer: the check that decides which of them libcapi20 may see.
// What passes must be whole, fit the library's receive buffer and be a message the
// program uses.
#include "capi/CapiFrameCheck.h"
#include "capi/CapiRecords.h"

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
    HeaderRecord header;
    if (!header.copyFrom({message.data(), message.size()}))
        std::abort();
    // The header, a PLCI or Controller and a word: the least of every message used.
    const std::size_t total = static_cast<std::uint16_t>(header.totalLength);
    if (total != message.size() || total > buffer || total < HeaderOffset::Size + 4 + 2)
        std::abort();
    const std::uint8_t command = header.command;
    const bool used = (header.subcommand == CapiSubcommand::Ind &&
                       (command == CapiCommand::Connect || command == CapiCommand::Disconnect ||
                        command == CapiCommand::Info)) ||
                      (header.subcommand == CapiSubcommand::Conf &&
                       (command == CapiCommand::Listen || command == CapiCommand::Alert));
    if (!used)
        std::abort();
    return 0;
}
