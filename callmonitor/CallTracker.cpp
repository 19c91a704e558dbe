#include "callmonitor/CallTracker.h"

#include "callmonitor/CallMonitorTexts.h"
#include "line/CallEvents.h"
#include "line/FieldText.h"

#include <algorithm>

void CallTracker::handle(const MonitorRecord &record)
{
    const auto open = m_open.find(record.connection);
    switch (record.kind) {
    case MonitorRecord::Kind::Ring:
        ring(record);
        break;
    case MonitorRecord::Kind::Connect:
        if (open != m_open.end())
            open->second.extension = safeFieldText(record.extension);
        break;
    case MonitorRecord::Kind::Disconnect:
        if (open != m_open.end())
            clear(open, handling(open->second.extension));
        break;
    case MonitorRecord::Kind::Call:
        // Outgoing calls are not shown; their CONNECT and DISCONNECT find no open call.
        break;
    }
}

std::string CallTracker::handling(const std::optional<std::string> &extension)
{
    if (!extension)
        return CallMonitorTexts::kCallerHungUp;
    // The router's answering machines sit at extensions 40 to 49: nobody took the call.
    const std::string &e = *extension;
    if (e.size() == 2 && e[0] == '4' && e[1] >= '0' && e[1] <= '9')
        return CallMonitorTexts::kAnsweringMachine + e + ")";
    return CallMonitorTexts::kAnsweredAt + e;
}

void CallTracker::ring(const MonitorRecord &record)
{
    if (const auto old = m_open.find(record.connection); old != m_open.end())
        clear(old, CallMonitorTexts::kConnectionLost);
    if (m_open.size() >= kMaxOpenCalls) {
        const auto oldest =
            std::min_element(m_open.begin(), m_open.end(), [](const auto &a, const auto &b) {
                return a.second.id < b.second.id;
            });
        clear(oldest, CallMonitorTexts::kConnectionLost);
    }
    IncomingCall call;
    call.id = nextId();
    call.caller =
        record.caller.empty() ? CallMonitorTexts::kUnknownCaller : safeFieldText(record.caller);
    call.msn = safeFieldText(record.called);
    m_open[record.connection] = OpenCall{call.id, std::nullopt};
    if (m_events)
        m_events->onIncomingCall(call);
}

void CallTracker::clear(std::map<std::uint32_t, OpenCall>::iterator call,
                        const std::string &handling)
{
    const CallCleared clearing{call->second.id, handling};
    m_open.erase(call);
    if (m_events)
        m_events->onCallCleared(clearing);
}

std::uint32_t CallTracker::nextId()
{
    // 0 is never handed out; a wrap after 2^32 calls cannot meet a call still open.
    if (++m_lastId == 0)
        ++m_lastId;
    return m_lastId;
}
