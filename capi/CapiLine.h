#pragma once

#include "Capi.h"
#include "CapiState.h"
#include "LineWatch.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

class CallHandler;

/// The program's one CAPI application: registration, listen request, release and the
/// one-message-per-tick pump with its dispatch. It watches the line: a failed
/// registration or a lost line is repaired by registering and listening again, at most
/// once per LineWatch::kRetryInterval, and both events are told on stderr.
class CapiLine
{
public:
    using NoticeSink = std::function<void(const std::string &)>;

    CapiLine(Capi &capi, CapiState &state, LineWatch::Clock clock = {});

    void setCallHandler(CallHandler *handler) { m_handler = handler; }
    /// Where the line's state changes are told; stderr unless set.
    void setNoticeSink(NoticeSink sink) { m_notice = std::move(sink); }

    /// CAPI_REGISTER with the program's fixed values; writes the ApplID.
    std::uint32_t registerApplication();
    /// LISTEN_REQ for every call on controller 1; nothing goes out while the line is down.
    std::uint32_t sendListenReq();
    /// CAPI_RELEASE of a registration still held; no message goes out before it.
    std::uint32_t release();

    /// Fetches at most one message and dispatches it; while the line is down, tries to
    /// bring it back when a retry is due instead.
    void Get_Capi_Message();

    /// Puts a record with the current ApplID.
    std::uint32_t put(std::span<const std::uint8_t> message);

    bool isLineUp() const { return m_watch.isUp(); }

private:
    void answerInfoInd();
    void dispatch();
    void noteResult(std::uint32_t result);
    void dropLine();
    void reconnect();
    void notice(const std::string &text);
    [[noreturn]] void throwUnavailable() const;

    Capi &m_capi;
    CapiState &m_state;
    CallHandler *m_handler = nullptr;
    NoticeSink m_notice;
    LineWatch m_watch;
    bool m_registered = false; // an ApplID is held and must be released
    bool m_lost = false;       // a result said the line is gone; handled after the tick
    bool m_everUp = false;     // decides between "hergestellt" and "wieder hergestellt"
    bool m_toldDown = false;   // the current outage has been told
    std::optional<std::string> m_unavailable; // why the CAPI library cannot be used
};
