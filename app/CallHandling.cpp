#include "app/CallHandling.h"

#include "app/LineStatus.h"
#include "app/MissedCalls.h"
#include "calllog/CallLine.h"
#include "calllog/CallLog.h"
#include "calllog/Clock.h"
#include "settings/LockKeySignaller.h"
#include "ui/CallNotifier.h"
#include "ui/CallViews.h"
#include "ui/Tray.h"
#include "ui/TrayRecord.h"

#include <algorithm>
#include <vector>

CallHandling::CallHandling(Parts parts) : m(parts) {}

void CallHandling::onIncomingCall(const IncomingCall &call)
{
    const std::tm now = m.clock.localNow();
    const CallLine record = CallLine::arrived(call.caller, call.msn, now);
    const std::string row = record.text();

    // A new call on an identity still open replaces that call, which is then lost.
    if (const auto old = m.calls.open.find(call.id); old != m.calls.open.end()) {
        const CallState::OpenCall replaced = old->second;
        m.calls.open.erase(old);
        complete(replaced, kLostHandling);
    }

    const int listIndex = m.views.ListCount();
    m.views.GridInsertTop(row);
    m.views.ListAppendLine(row);
    const std::uint64_t order = m.calls.shown++;
    m.calls.open[call.id] = {record, order, listIndex};
    if (m.calls.open.size() > kMaxOpenCalls) {
        auto oldest = std::min_element(
            m.calls.open.begin(), m.calls.open.end(),
            [](const auto &a, const auto &b) { return a.second.order < b.second.order; });
        const CallState::OpenCall forgotten = oldest->second;
        m.calls.open.erase(oldest);
        complete(forgotten, kLostHandling);
    }

    m.lockKeys.signal(call.msn);
    const auto details = m_details ? m_details(call.caller) : std::nullopt;
    m.trayRecord.nameLine = nameLine(details);
    m_tipCaller = call.caller;
    m.trayRecord.setTip(row);
    m.tray.modify(m.trayRecord);
    if (m_notifier && details)
        m_notifier->callArrivedFrom(order, call.caller, call.msn, record.time, *details);
    else if (m_notifier)
        m_notifier->callArrived(order, call.caller, call.msn, record.time);
}

std::string CallHandling::nameLine(const std::optional<CallerDetails> &details) const
{
    if (!details)
        return {};
    if (!details->name.empty())
        return details->name;
    return details->place.empty() ? std::string() : "(" + details->place + ")";
}

void CallHandling::refreshNames()
{
    if (!m_tipCaller || !m_details)
        return;
    std::string line = nameLine(m_details(*m_tipCaller));
    if (line == m.trayRecord.nameLine)
        return;
    m.trayRecord.nameLine = std::move(line);
    m.tray.modify(m.trayRecord);
}

void CallHandling::onCallCleared(const CallCleared &clearing)
{
    // A clearing completes the call it belongs to; one for a call we do not follow
    // (cleared already, or from before the start) changes nothing.
    const auto it = m.calls.open.find(clearing.id);
    if (it == m.calls.open.end())
        return;
    const CallState::OpenCall call = it->second;
    m.calls.open.erase(it);
    complete(call, clearing.handling);
}

void CallHandling::onLineUp()
{
    if (m_lineStatus)
        m_lineStatus->onLineUp();
    if (m_lineUpListener)
        m_lineUpListener();
}

void CallHandling::onLineLost()
{
    std::vector<CallState::OpenCall> open;
    for (const auto &[id, call] : m.calls.open)
        open.push_back(call);
    m.calls.open.clear();
    // In the order the calls came, so the log reads as they happened.
    std::sort(open.begin(), open.end(),
              [](const auto &a, const auto &b) { return a.order < b.order; });
    for (const auto &call : open)
        complete(call, kLostHandling);
    if (m_lineStatus)
        m_lineStatus->onLineLost();
}

void CallHandling::complete(const CallState::OpenCall &call, const std::string &handling)
{
    const int row = static_cast<int>(m.calls.shown - call.order);
    m.views.GridSetHandling(row, handling);
    const std::string completed = call.record.completed(handling).text();
    m.views.ListReplaceItem(call.listIndex, completed);
    // Never raises: a record that cannot be written now is kept and written later.
    m.log.appendCallRecord(completed);

    ++m.callCounter;
    // The label has room for six digits: after 100000 the count starts again at 0.
    if (m.callCounter > 100000)
        m.callCounter = 0;
    m.views.ShowCallCount(m.callCounter);
    if (m_missed)
        m_missed->callCompleted(handling);
    if (m_notifier)
        m_notifier->callEnded(call.order, handling);
}
