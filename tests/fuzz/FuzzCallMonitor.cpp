// The router's call monitor bytes through the parser and the call tracking, in pieces of
// the size the first byte's low six bits give. Its two high bits pick the parser's line
// limit: the program's own, or a small one around the 80 characters of the bad-line report,
// so that short inputs reach the long-line paths. Checks the CallLines the
// events make, the ids, and that the parser's memory stays bounded, not only that nothing
// crashes.
#include "callmonitor/CallMonitorParser.h"
#include "callmonitor/CallTracker.h"
#include "line/CallEvents.h"

#include <cstdlib>
#include <map>
#include <string>

namespace {

void checkFields(const std::string &line, int wantTabs)
{
    int tabs = 0;
    for (const char c : line) {
        if (c == '\t')
            ++tabs;
        if (c == '\r' || c == '\n' || c == ',' || c == '"')
            std::abort();
    }
    if (tabs != wantTabs || line.empty() || line[0] == '#')
        std::abort();
}

class CheckingEvents final : public CallEvents
{
public:
    void onIncomingCall(const IncomingCall &call) override
    {
        // The date and time as the call handling adds them.
        const std::string line = call.caller + "\t" + call.msn + "\t12-07-2026\t14:05:09";
        checkFields(line, 3);
        if (call.id == 0 || !m_open.emplace(call.id, line).second)
            std::abort();
    }
    void onCallCleared(const CallCleared &clearing) override
    {
        const auto it = m_open.find(clearing.id);
        if (it == m_open.end() || clearing.handling.empty())
            std::abort();
        checkFields(it->second + "\t" + clearing.handling, 4);
        m_open.erase(it);
    }
    void onLineUp() override {}
    void onLineLost() override {}

    std::size_t open() const { return m_open.size(); }

private:
    std::map<std::uint32_t, std::string> m_open;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = data[0] % 64 + 1;
    constexpr std::size_t kLimits[] = {CallMonitorParser::kMaxLine, 24, 79, 81};
    const std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    CallMonitorParser parser(kLimits[data[0] >> 6]);
    CallTracker tracker;
    CheckingEvents events;
    tracker.setCallEvents(&events);
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        parser.feed(bytes.substr(at, piece), [&](const MonitorRecord &r) { tracker.handle(r); });
    if (tracker.openCalls() != events.open() || tracker.openCalls() > CallTracker::kMaxOpenCalls)
        std::abort();
    if (parser.firstBadLine().size() > CallMonitorParser::kReportedChars)
        std::abort();
    return 0;
}
