#include "capi/CapiFrameCheck.h"

#include "capi/CapiMessage.h"
#include "capi/CapiRecords.h"

#include <optional>

namespace CapiFrameCheck {

namespace {

constexpr std::size_t kHeader = 8;
// PLCI or Controller (4) and a word: CIP Value, Reason, Info number or Info.
constexpr std::size_t kFixedPart = kHeader + 4 + 2;

/// Where the CAPI structure at offset ends, if it lies wholly in the message. A first
/// byte of 0xff announces a 16-bit length behind it.
std::optional<std::size_t> structEnd(std::span<const std::uint8_t> m, std::size_t offset)
{
    if (offset >= m.size())
        return std::nullopt;
    std::size_t start = offset + 1;
    std::size_t length = m[offset];
    if (length == 0xff) {
        if (offset + 3 > m.size())
            return std::nullopt;
        length = readWord(m.data() + offset + 1);
        start = offset + 3;
    }
    if (start + length > m.size())
        return std::nullopt;
    return start + length;
}

/// The number of structures after the fixed part that must be there and fit.
int structuresChecked(std::uint8_t command, std::uint8_t subcommand)
{
    if (subcommand == CapiSubcommand::Ind) {
        switch (command) {
        case CapiCommand::Connect:
            return 2; // Called and Calling party number: what the call shows
        case CapiCommand::Disconnect:
            return 0;
        case CapiCommand::Info:
            return 1; // Info element
        default:
            return -1;
        }
    }
    if (subcommand == CapiSubcommand::Conf &&
        (command == CapiCommand::Listen || command == CapiCommand::Alert))
        return 0;
    return -1;
}

} // namespace

Verdict check(std::span<const std::uint8_t> message, std::size_t receiveBufferSize)
{
    if (message.size() < kHeader)
        return Verdict::BadTotalLength;
    const int structures =
        structuresChecked(message[HeaderOffset::Command], message[HeaderOffset::Subcommand]);
    if (structures < 0)
        return Verdict::NotUsed;
    if (readWord(message.data()) != message.size() || message.size() < kFixedPart)
        return Verdict::BadTotalLength;
    if (message.size() > receiveBufferSize)
        return Verdict::LongerThanBuffer;
    std::size_t offset = kFixedPart;
    for (int i = 0; i < structures; ++i) {
        const auto end = structEnd(message, offset);
        if (!end)
            return Verdict::BadStructure;
        offset = *end;
    }
    return Verdict::Pass;
}

const char *name(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return "pass";
    case Verdict::NotUsed:
        return "not-used";
    case Verdict::BadTotalLength:
        return "bad-total-length";
    case Verdict::BadStructure:
        return "bad-structure";
    case Verdict::LongerThanBuffer:
        return "longer-than-buffer";
    }
    return "?";
}

} // namespace CapiFrameCheck
