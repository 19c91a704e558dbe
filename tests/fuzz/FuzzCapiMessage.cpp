// Fetched messages from the line: header copy, dispatch, CONNECT_IND and DISCONNECT_IND
// decoding into a CallLine. Checks the CallLine's shape, not only that nothing crashes.
#include "CallDecoding.h"
#include "CallHandler.h"
#include "CapiLine.h"
#include "FakeCapi.h"

#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

class DecodingHandler final : public CallHandler
{
public:
    explicit DecodingHandler(CapiState &s) : m_state(s) {}

    void onConnectInd() override
    {
        m_state.connectInd.copyFrom(m_state.message, m_state.header);
        const std::tm when{};
        const std::string line = buildCallLine(decodeConnectInd(m_state.connectInd), when);
        int tabs = 0;
        for (const char c : line) {
            if (c == '\t')
                ++tabs;
            if (c == '\r' || c == '\n' || c == ',' || c == '"')
                std::abort();
        }
        if (tabs != 3)
            std::abort();
    }
    void onDisconnectInd() override
    {
        m_state.disconnectInd.copyFrom(m_state.message, m_state.header);
        if (handlingText(m_state.disconnectInd.reason).empty())
            std::abort();
    }

private:
    CapiState &m_state;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FakeCapi capi;
    CapiState state;
    CapiLine line(capi, state);
    DecodingHandler handler(state);
    line.setCallHandler(&handler);
    capi.queueMessage(std::vector<std::uint8_t>(data, data + size));
    line.Get_Capi_Message();
    return 0;
}
