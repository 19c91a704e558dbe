// Fetched messages from the line: header copy, dispatch, CONNECT_IND and DISCONNECT_IND
// decoding into call events and a CallLine. Checks the CallLine's shape, not only that
// nothing crashes.
#include "calllog/CallLine.h"
#include "capi/CallDecoding.h"
#include "capi/CapiLine.h"
#include "line/CallEvents.h"
#include "tests/fakes/FakeCapi.h"

#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

void checkField(const std::string &field)
{
    for (const char c : field)
        if (c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '"' || c == '#')
            std::abort();
}

class CheckingEvents final : public CallEvents
{
public:
    void onIncomingCall(const IncomingCall &call) override
    {
        checkField(call.caller);
        checkField(call.msn);
        const std::tm when{};
        const std::string line = CallLine::arrived(call.caller, call.msn, when).text();
        int tabs = 0;
        for (const char c : line)
            tabs += c == '\t';
        if (tabs != 3)
            std::abort();
    }
    void onCallCleared(const CallCleared &clearing) override
    {
        if (clearing.handling.empty())
            std::abort();
        checkField(clearing.handling);
    }
    void onLineUp() override {}
    void onLineLost() override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FakeCapi capi;
    CapiState state;
    CapiLine line(capi, state, CapiWorker::Mode::Manual);
    CheckingEvents events;
    line.setCallEvents(&events);
    line.start();
    line.tick();
    capi.queueMessage(std::vector<std::uint8_t>(data, data + size));
    line.tick();
    return 0;
}
