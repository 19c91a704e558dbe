#pragma once

#include "capi/Capi.h"
#include "capi/CapiState.h"
#include "capi/CapiWorker.h"
#include "capi/LineWatch.h"
#include "line/Line.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class CallEvents;

/// The CAPI line: the library runs on the CapiWorker's thread; here, on the UI thread,
/// each tick takes at most one fetched message and dispatches it. A CONNECT_IND and a
/// DISCONNECT_IND become call events, then their answer goes out (ALERT_REQ,
/// DISCONNECT_RESP); an INFO_IND is answered with INFO_RESP. Changes of the line are told
/// on stderr and raised as line events.
class CapiLine final : public Line
{
public:
    using NoticeSink = std::function<void(const std::string &)>;

    CapiLine(Capi &capi, CapiState &state, CapiWorker::Mode mode = CapiWorker::Mode::Thread,
             const SteadyClock &clock = systemSteadyClock());

    void setCallEvents(CallEvents *events) override { m_events = events; }
    /// Where the line's state changes are told; stderr unless set.
    void setNoticeSink(NoticeSink sink) { m_notice = std::move(sink); }

    /// Registers and sends LISTEN_REQ on the CAPI thread.
    void start() override;
    void tick() override { Get_Capi_Message(); }
    /// Releases the registration; a library call that hangs is left behind after a
    /// short wait, and stderr says so.
    void stop() override;
    std::string description() const override { return "CAPI"; }
    std::string downText() const override { return "Keine CAPI-Verbindung"; }

    /// Takes the line's news and at most one message and dispatches it. Raises
    /// CapiUnavailable while there is no CAPI library.
    void Get_Capi_Message();

    bool isLineUp() const { return m_up; }
    /// How long stop() waits for the CAPI thread before it leaves it behind.
    static constexpr std::chrono::milliseconds kStopWait{2000};

private:
    void onNote(const CapiWorker::Note &note);
    void dispatch(const CapiWorker::Fetched &fetched);
    void answerInfoInd();
    void onConnectInd();
    void onDisconnectInd();
    void answer(std::span<const std::uint8_t> bytes);
    void notice(const std::string &text);

    CapiState &m_state;
    CapiWorker m_worker;
    CapiWorker::Mode m_mode;
    CallEvents *m_events = nullptr;
    NoticeSink m_notice;
    bool m_up = false;
    bool m_stopped = false;
    std::optional<std::string> m_unavailable; // why the CAPI library cannot be used
    std::uint32_t m_messageApplId = 0;        // the registration of the message at hand
};
