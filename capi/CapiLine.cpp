#include "capi/CapiLine.h"

#include "base/Notice.h"
#include "capi/CallDecoding.h"
#include "capi/CapiUnavailable.h"
#include "line/CallEvents.h"

#include <cstdio>

CapiLine::CapiLine(Capi &capi, CapiState &state, CapiWorker::Mode mode, const SteadyClock &clock)
    : m_state(state), m_worker(capi, mode, clock), m_mode(mode)
{}

void CapiLine::start()
{
    m_worker.start();
}

void CapiLine::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    if (!m_worker.stop(kStopWait))
        notice("CAPI-Bibliothek antwortet nicht; die Anmeldung wird nicht freigegeben");
    m_up = false;
    m_state.ApplID = 0;
}

void CapiLine::Get_Capi_Message()
{
    if (m_stopped)
        return;
    if (m_mode == CapiWorker::Mode::Manual)
        m_worker.runOnce();
    // The line's news first, up to the next message; that message is the tick's one.
    while (auto item = m_worker.take()) {
        if (const auto *note = std::get_if<CapiWorker::Note>(&*item)) {
            onNote(*note);
            continue;
        }
        dispatch(std::get<CapiWorker::Fetched>(*item));
        break;
    }
    if (m_mode == CapiWorker::Mode::Manual) {
        m_worker.flushPuts();
        while (auto item = m_worker.takeNote())
            onNote(*item);
    }
    if (m_unavailable)
        throw CapiUnavailable(*m_unavailable);
}

void CapiLine::onNote(const CapiWorker::Note &note)
{
    switch (note.kind) {
    case CapiWorker::Note::Registered:
        m_state.ApplID = note.applId;
        break;
    case CapiWorker::Note::Up:
        m_up = true;
        if (m_events)
            m_events->onLineUp();
        break;
    case CapiWorker::Note::Lost:
        m_up = false;
        m_state.ApplID = 0;
        if (m_events)
            m_events->onLineLost();
        break;
    case CapiWorker::Note::Notice:
        notice(note.text);
        break;
    case CapiWorker::Note::Unavailable:
        m_unavailable = note.text;
        break;
    }
}

void CapiLine::dispatch(const CapiWorker::Fetched &fetched)
{
    m_messageApplId = fetched.applId;
    m_state.message = CapiMessage{fetched.bytes.data(), fetched.bytes.size()};
    // A message shorter than its header is not a message: dropped unread.
    if (m_state.header.copyFrom(m_state.message)) {
        const auto command = m_state.header.command;
        const auto subcommand = m_state.header.subcommand;
        if (subcommand == CapiSubcommand::Ind) {
            if (command == CapiCommand::Connect)
                onConnectInd();
            else if (command == CapiCommand::Info)
                answerInfoInd();
            else if (command == CapiCommand::Disconnect)
                onDisconnectInd();
        }
        // Everything else (confirmations, unknown commands) is dropped.
    }
    m_state.message = CapiMessage{};
}

void CapiLine::onConnectInd()
{
    m_state.connectInd.copyFrom(m_state.message, m_state.header);
    const DecodedCall call = decodeConnectInd(m_state.connectInd);
    const std::uint32_t plci = m_state.connectInd.plci;
    // The handling first, then the answer.
    if (m_events)
        m_events->onIncomingCall(IncomingCall{plci, call.caller, call.msn});
    fillAlertReq(m_state.alertReq, m_messageApplId, plci);
    answer(m_state.alertReq.bytes());
}

void CapiLine::onDisconnectInd()
{
    m_state.disconnectInd.copyFrom(m_state.message, m_state.header);
    const std::uint32_t plci = m_state.disconnectInd.plci;
    const std::uint16_t number = m_state.header.messageNumber;
    if (m_events)
        m_events->onCallCleared(CallCleared{plci, handlingText(m_state.disconnectInd.reason)});
    fillDisconnectResp(m_state.disconnectResp, m_messageApplId, plci, number);
    answer(m_state.disconnectResp.bytes());
}

void CapiLine::answerInfoInd()
{
    // The response names the indication it answers: its own PLCI and Message number.
    std::uint32_t plci = 0;
    const auto params = parameterBytes(m_state.message, m_state.header);
    if (params.size() >= 4)
        plci = readDword(params.data());
    fillInfoResp(m_state.infoResp, m_messageApplId, plci, m_state.header.messageNumber);
    answer(m_state.infoResp.bytes());
}

void CapiLine::answer(std::span<const std::uint8_t> bytes)
{
    m_worker.put(m_messageApplId, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void CapiLine::notice(const std::string &text)
{
    if (m_notice)
        m_notice(text);
    else
        ::notice(text);
}
