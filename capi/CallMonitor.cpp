#include "CallMonitor.h"

#include "CallDecoding.h"
#include "CallLog.h"
#include "CallViews.h"
#include "CapiLine.h"
#include "CapiState.h"
#include "Clock.h"
#include "LockKeySignaller.h"
#include "Tray.h"
#include "TrayRecord.h"

#include <algorithm>

CallMonitor::CallMonitor(Parts parts) : m(parts) {}

void CallMonitor::onConnectInd()
{
    m.capi.connectInd.copyFrom(m.capi.message, m.capi.header);
    const DecodedCall call = decodeConnectInd(m.capi.connectInd);
    const std::string line = buildCallLine(call, m.clock.localNow());
    m.calls.currentCall = line;

    const std::uint32_t plci = m.capi.connectInd.plci;
    const int listIndex = m.views.ListCount();
    m.views.GridInsertTop(line);
    m.views.ListAppendLine(line);
    // A new call on a PLCI still open replaces that call.
    m.calls.open[plci] = {line, m.calls.shown++, listIndex};
    if (m.calls.open.size() > kMaxOpenCalls) {
        auto oldest = std::min_element(
            m.calls.open.begin(), m.calls.open.end(),
            [](const auto &a, const auto &b) { return a.second.order < b.second.order; });
        m.calls.open.erase(oldest);
    }

    m.lockKeys.signal(call.msn);
    m.trayRecord.setTip(line);
    m.tray.modify(m.trayRecord);

    fillAlertReq(m.capi.alertReq, m.capi.ApplID, plci);
    m.line.put(m.capi.alertReq.bytes());
}

void CallMonitor::onDisconnectInd()
{
    m.capi.disconnectInd.copyFrom(m.capi.message, m.capi.header);
    const std::uint32_t plci = m.capi.disconnectInd.plci;
    const std::uint16_t number = m.capi.header.messageNumber;

    // A clearing completes the call it belongs to; one for a call we do not follow
    // (cleared already, or from before the start) is only answered.
    const auto it = m.calls.open.find(plci);
    if (it != m.calls.open.end()) {
        const CallState::OpenCall call = it->second;
        m.calls.open.erase(it);

        const std::string handling = handlingText(m.capi.disconnectInd.reason);
        const int row = static_cast<int>(m.calls.shown - call.order);
        m.views.GridSetHandling(row, handling);
        const std::string completed = call.line + '\t' + handling;
        m.views.ListReplaceItem(call.listIndex, completed);
        // Never raises: a line that cannot be written now is kept and written later.
        m.log.appendCallLine(completed);

        ++m.callCounter;
        if (m.callCounter > 100000)
            m.callCounter = 0;
        m.views.ShowCallCount(m.callCounter);
    }

    fillDisconnectResp(m.capi.disconnectResp, m.capi.ApplID, plci, number);
    m.line.put(m.capi.disconnectResp.bytes());
}

void CallMonitor::onLineLost()
{
    m.calls.open.clear();
}
