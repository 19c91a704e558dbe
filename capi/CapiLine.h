#pragma once

#include "Capi.h"
#include "CapiState.h"

#include <cstdint>
#include <span>

class CallHandler;

/// The program's one CAPI application: registration, listen request, release and the
/// one-message-per-tick pump with its dispatch.
class CapiLine
{
public:
    CapiLine(Capi &capi, CapiState &state);

    void setCallHandler(CallHandler *handler) { m_handler = handler; }

    /// CAPI_REGISTER with the program's fixed values; writes the ApplID.
    std::uint32_t registerApplication();
    /// LISTEN_REQ for every call on controller 1.
    std::uint32_t sendListenReq();
    /// CAPI_RELEASE; no message goes out before it.
    std::uint32_t release();

    /// Fetches at most one message and dispatches it.
    void Get_Capi_Message();

    /// Puts a record with the current ApplID.
    std::uint32_t put(std::span<const std::uint8_t> message);

private:
    void answerInfoInd();

    Capi &m_capi;
    CapiState &m_state;
    CallHandler *m_handler = nullptr;
};
