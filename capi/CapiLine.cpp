#include "CapiLine.h"

#include "CallHandler.h"

CapiLine::CapiLine(Capi &capi, CapiState &state) : m_capi(capi), m_state(state) {}

std::uint32_t CapiLine::registerApplication()
{
    return m_capi.CAPI_REGISTER(CapiState::kMessageBufferSize, CapiState::kMaxLogicalConnection,
                                CapiState::kMaxBDataBlocks, CapiState::kMaxBDataLen,
                                m_state.ApplID);
}

std::uint32_t CapiLine::sendListenReq()
{
    fillListenReq(m_state.listenReq, m_state.ApplID);
    return put(m_state.listenReq.bytes());
}

std::uint32_t CapiLine::release()
{
    return m_capi.CAPI_RELEASE(m_state.ApplID);
}

std::uint32_t CapiLine::put(std::span<const std::uint8_t> message)
{
    return m_capi.CAPI_PUT_MESSAGE(m_state.ApplID, message);
}

void CapiLine::Get_Capi_Message()
{
    if (m_capi.CAPI_GET_MESSAGE(m_state.ApplID, m_state.message) != 0)
        return;
    // A message shorter than its header is not a message: dropped unread.
    if (!m_state.header.copyFrom(m_state.message))
        return;

    const auto command = m_state.header.command;
    const auto subcommand = m_state.header.subcommand;
    if (command == CapiCommand::Connect) {
        if (subcommand == CapiSubcommand::Ind && m_handler)
            m_handler->onConnectInd();
    } else if (command == CapiCommand::Info) {
        if (subcommand == CapiSubcommand::Ind)
            answerInfoInd();
    } else if (command == CapiCommand::Disconnect && subcommand == CapiSubcommand::Ind) {
        if (m_handler)
            m_handler->onDisconnectInd();
    }
    // Everything else (confirmations, unknown commands) is dropped.
}

void CapiLine::answerInfoInd()
{
    // The response names the indication it answers: its own PLCI and Message number.
    std::uint32_t plci = 0;
    const auto params = parameterBytes(m_state.message, m_state.header);
    if (params.size() >= 4)
        plci = readDword(params.data());
    fillInfoResp(m_state.infoResp, m_state.ApplID, plci, m_state.header.messageNumber);
    put(m_state.infoResp.bytes());
}
