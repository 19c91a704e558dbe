#include "CapiLine.h"

#include "CallHandler.h"
#include "CapiResult.h"
#include "CapiUnavailable.h"

#include <cstdio>

namespace {

std::string hex(std::uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", value);
    return buf;
}

} // namespace

CapiLine::CapiLine(Capi &capi, CapiState &state, LineWatch::Clock clock)
    : m_capi(capi), m_state(state), m_watch(std::move(clock))
{}

std::uint32_t CapiLine::registerApplication()
{
    if (m_registered)
        return CapiResult::NoError;
    m_watch.noteAttempt();
    std::uint32_t result = 0;
    try {
        result = m_capi.CAPI_REGISTER(CapiState::kMessageBufferSize,
                                      CapiState::kMaxLogicalConnection, CapiState::kMaxBDataBlocks,
                                      CapiState::kMaxBDataLen, m_state.ApplID);
    } catch (const CapiUnavailable &e) {
        m_unavailable = e.what();
        throw;
    }
    m_unavailable.reset();
    if (result != CapiResult::NoError) {
        m_state.ApplID = 0;
        m_watch.noteDown();
        if (!m_toldDown) {
            notice((m_everUp ? "CAPI-Verbindung verloren (" : "Keine CAPI-Verbindung (") +
                   hex(result) + ")");
            m_toldDown = true;
        }
        return result;
    }
    m_registered = true;
    m_lost = false;
    m_watch.noteUp();
    return result;
}

std::uint32_t CapiLine::sendListenReq()
{
    if (!m_registered) {
        if (m_unavailable)
            throwUnavailable();
        return CapiResult::IllegalApplId;
    }
    fillListenReq(m_state.listenReq, m_state.ApplID);
    const std::uint32_t result = put(m_state.listenReq.bytes());
    if (!m_lost && m_toldDown) {
        notice(m_everUp ? "CAPI-Verbindung wieder hergestellt" : "CAPI-Verbindung hergestellt");
        m_toldDown = false;
    }
    if (!m_lost)
        m_everUp = true;
    return result;
}

std::uint32_t CapiLine::release()
{
    if (!m_registered) {
        if (m_unavailable)
            throwUnavailable();
        return CapiResult::NoError;
    }
    m_registered = false;
    m_watch.noteDown();
    const std::uint32_t result = m_capi.CAPI_RELEASE(m_state.ApplID);
    m_state.ApplID = 0;
    return result;
}

std::uint32_t CapiLine::put(std::span<const std::uint8_t> message)
{
    if (!m_registered) {
        if (m_unavailable)
            throwUnavailable();
        return CapiResult::IllegalApplId;
    }
    const std::uint32_t result = m_capi.CAPI_PUT_MESSAGE(m_state.ApplID, message);
    noteResult(result);
    return result;
}

void CapiLine::noteResult(std::uint32_t result)
{
    // Acted on after the handler has run, so that it never sees the ApplID change.
    if (CapiResult::meansLineLost(result))
        m_lost = true;
}

void CapiLine::Get_Capi_Message()
{
    if (!m_registered) {
        if (m_unavailable)
            throwUnavailable();
        if (m_watch.isRetryDue())
            reconnect();
        return;
    }
    const std::uint32_t result = m_capi.CAPI_GET_MESSAGE(m_state.ApplID, m_state.message);
    noteResult(result);
    if (result == CapiResult::NoError)
        dispatch();
    if (m_lost)
        dropLine();
}

void CapiLine::dropLine()
{
    notice("CAPI-Verbindung verloren");
    m_toldDown = true;
    m_lost = false;
    // The old registration is given back before any new one is made.
    release();
    if (m_handler)
        m_handler->onLineLost();
}

void CapiLine::reconnect()
{
    if (registerApplication() != CapiResult::NoError)
        return;
    sendListenReq();
    if (m_lost)
        dropLine();
}

void CapiLine::dispatch()
{
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

void CapiLine::notice(const std::string &text)
{
    if (m_notice)
        m_notice(text);
    else
        std::fprintf(stderr, "Klingelwacht: %s\n", text.c_str());
}

void CapiLine::throwUnavailable() const
{
    throw CapiUnavailable(*m_unavailable);
}
