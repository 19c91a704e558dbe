#include "capi/CapiRecords.h"

#include <algorithm>
#include <cstring>

void fillListenReq(ListenReqRecord &record, std::uint32_t applId)
{
    record.setHeader(applId, CapiCommand::Listen, CapiSubcommand::Req, 1);
    record.setDword(ListenReqOffset::Controller, 1);
    record.setDword(ListenReqOffset::InfoMask, 0);
    record.setDword(ListenReqOffset::CipMask, 1); // bit 0: every call, whatever its CIP value
    record.setDword(ListenReqOffset::CipMask2, 0);
    record.setByte(ListenReqOffset::CallingPartyNumber, 0);
    record.setByte(ListenReqOffset::CallingPartySubaddress, 0);
}

void fillAlertReq(AlertReqRecord &record, std::uint32_t applId, std::uint32_t plci)
{
    record.setHeader(applId, CapiCommand::Alert, CapiSubcommand::Req, 0);
    record.setDword(AlertReqOffset::Plci, plci);
    record.setByte(AlertReqOffset::AdditionalInfo, 0);
    record.setDword(AlertReqOffset::AdditionalInfo + 1, 0); // trailing zeros, counted in the length
}

void fillInfoResp(InfoRespRecord &record, std::uint32_t applId, std::uint32_t plci,
                  std::uint16_t messageNumber)
{
    record.setHeader(applId, CapiCommand::Info, CapiSubcommand::Resp, messageNumber);
    record.setDword(PlciOffset::Plci, plci);
}

void fillDisconnectResp(DisconnectRespRecord &record, std::uint32_t applId, std::uint32_t plci,
                        std::uint16_t messageNumber)
{
    record.setHeader(applId, CapiCommand::Disconnect, CapiSubcommand::Resp, messageNumber);
    record.setDword(PlciOffset::Plci, plci);
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

void ConnectIndRecord::copyFrom(const CapiMessage &message, const HeaderRecord &header)
{
    std::uint8_t raw[kSize] = {};
    const auto bytes = parameterBytes(message, header);
    const std::size_t n = std::min(bytes.size(), kSize);
    if (n > 0)
        std::memcpy(raw, bytes.data(), n);
    plci = readDword(raw);
    cipValue = readWord(raw + 4);
    std::memcpy(params.data(), raw + 6, kParamChars);
    paramCount = n > 6 ? n - 6 : 0;
}

void DisconnectIndRecord::copyFrom(const CapiMessage &message, const HeaderRecord &header)
{
    std::uint8_t raw[kSize] = {};
    const auto bytes = parameterBytes(message, header);
    const std::size_t n = std::min(bytes.size(), kSize);
    if (n > 0)
        std::memcpy(raw, bytes.data(), n);
    plci = readDword(raw);
    reason = static_cast<std::int16_t>(readWord(raw + 4));
}
