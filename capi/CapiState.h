#pragma once

#include "capi/CapiMessage.h"
#include "capi/CapiRecords.h"

#include <cstdint>

/// The CAPI part of the program's shared data on the UI thread: the identifier as last
/// heard from the CAPI thread, the message at hand and one record per message kind, all
/// living for the whole run.
struct CapiState
{
    /// Registration values; the message buffer size is kept for the record though
    /// libcapi20 sizes its buffers itself.
    static constexpr std::uint32_t kMessageBufferSize = 3072;
    static constexpr std::uint32_t kMaxLogicalConnection = 2;
    static constexpr std::uint32_t kMaxBDataBlocks = 7;
    static constexpr std::uint32_t kMaxBDataLen = 2048;

    std::uint32_t ApplID = 0;
    CapiMessage message;
    HeaderRecord header;

    AlertReqRecord alertReq;
    InfoRespRecord infoResp;
    DisconnectRespRecord disconnectResp;

    ConnectIndRecord connectInd;
    DisconnectIndRecord disconnectInd;
};
