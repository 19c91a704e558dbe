#include "capi/CapiRecords.h"

#include <algorithm>
#include <cstring>

void fillListenReq(ListenReqRecord &record, std::uint32_t applId)
{
    record.assign(CapiMessageWriter(CapiCommand::Listen, CapiSubcommand::Req, applId, 1)
                      .dword(1)      // Controller
                      .dword(0)      // Info mask
                      .dword(1)      // CIP mask, bit 0: every call, whatever its CIP value
                      .dword(0)      // CIP mask 2
                      .structure()   // Calling party number
                      .structure()); // Calling party subaddress
}

void fillAlertReq(AlertReqRecord &record, std::uint32_t applId, std::uint32_t plci)
{
    record.assign(CapiMessageWriter(CapiCommand::Alert, CapiSubcommand::Req, applId)
                      .dword(plci)
                      .structure() // Additional Info
                      .zeros(4));  // trailing zeros, counted in the length
}

void fillInfoResp(InfoRespRecord &record, std::uint32_t applId, std::uint32_t plci,
                  std::uint16_t messageNumber)
{
    record.assign(CapiMessageWriter(CapiCommand::Info, CapiSubcommand::Resp, applId, messageNumber)
                      .dword(plci));
}

void fillDisconnectResp(DisconnectRespRecord &record, std::uint32_t applId, std::uint32_t plci,
                        std::uint16_t messageNumber)
{
    record.assign(
        CapiMessageWriter(CapiCommand::Disconnect, CapiSubcommand::Resp, applId, messageNumber)
            .dword(plci));
}

bool HeaderRecord::copyFrom(const CapiMessage &message)
{
    if (message.data == nullptr || message.size < HeaderOffset::Size)
        return false;
    const std::uint8_t *p = message.data;
    totalLength = static_cast<std::int16_t>(readWord(p + HeaderOffset::TotalLength));
    applId = readWord(p + HeaderOffset::ApplId);
    command = p[HeaderOffset::Command];
    subcommand = p[HeaderOffset::Subcommand];
    messageNumber = readWord(p + HeaderOffset::MessageNumber);
    return true;
}

std::span<const std::uint8_t> parameterBytes(const CapiMessage &message, const HeaderRecord &header)
{
    if (message.data == nullptr || message.size <= HeaderOffset::Size ||
        header.totalLength <= static_cast<std::int16_t>(HeaderOffset::Size))
        return {};
    const std::size_t announced = static_cast<std::size_t>(header.totalLength) - HeaderOffset::Size;
    const std::size_t present = message.size - HeaderOffset::Size;
    return {message.data + HeaderOffset::Size, std::min(announced, present)};
}

namespace {

/// Copies the first N parameter bytes into raw, zeros where the message has none; returns
/// how many came with it.
template<std::size_t N>
std::size_t copyParameters(const CapiMessage &message, const HeaderRecord &header,
                           std::uint8_t (&raw)[N])
{
    const auto bytes = parameterBytes(message, header);
    const std::size_t n = std::min(bytes.size(), N);
    std::fill(std::begin(raw), std::end(raw), 0);
    if (n > 0)
        std::memcpy(raw, bytes.data(), n);
    return n;
}

} // namespace

void ConnectIndRecord::copyFrom(const CapiMessage &message, const HeaderRecord &header)
{
    std::uint8_t raw[kSize];
    const std::size_t n = copyParameters(message, header, raw);
    plci = readDword(raw);
    cipValue = readWord(raw + 4);
    std::memcpy(params.data(), raw + 6, kParamChars);
    paramCount = n > 6 ? n - 6 : 0;
}

void DisconnectIndRecord::copyFrom(const CapiMessage &message, const HeaderRecord &header)
{
    std::uint8_t raw[kSize];
    copyParameters(message, header, raw);
    plci = readDword(raw);
    reason = static_cast<std::int16_t>(readWord(raw + 4));
}
