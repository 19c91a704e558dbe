#include "app/LineStatus.h"

#include "calllog/Clock.h"
#include "ui/LineNotifier.h"
#include "ui/Tray.h"
#include "ui/TrayRecord.h"

#include <cstdio>

namespace {

std::string dateTimeText(const std::tm &t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

} // namespace

LineStatus::LineStatus(Parts parts) : m(parts) {}

void LineStatus::setStatusView(std::function<void(const std::string &)> view)
{
    m_view = std::move(view);
    if (m_view)
        m_view(m_statusText);
}

void LineStatus::lineStarted(std::string description, std::string downText)
{
    m_description = std::move(description);
    m_downText = std::move(downText);
    // A line that replaces one that is down stays down until it is up: no fresh grace
    // that would show a working line for ten seconds.
    if (m_state == State::Down) {
        goDown();
        return;
    }
    m_state = State::Starting;
    m_since = m.steadyClock.now();
    show("Verbindung mit " + m_description + " wird hergestellt …");
}

void LineStatus::onLineUp()
{
    const bool wasDown = m_state == State::Down;
    m_state = State::Up;
    show("Verbunden mit " + m_description + " seit " + dateTimeText(m.clock.localNow()));
    if (wasDown) {
        m.trayRecord.lineDown = false;
        // A call that came in meanwhile keeps its own tooltip.
        if (m.trayRecord.szTip == m_downTip)
            m.trayRecord.setTip(m_tipBeforeDown);
        m.tray.modify(m.trayRecord);
    }
    if (m_notified && m_notifier)
        m_notifier->lineBack(m_description);
    m_notified = false;
}

void LineStatus::onLineLost()
{
    if (m_state == State::Down)
        return;
    m_since = m.steadyClock.now();
    goDown();
}

void LineStatus::tick()
{
    const auto now = m.steadyClock.now();
    if (m_state == State::Starting && now - m_since >= kStartGrace) {
        m_since = now;
        goDown();
    }
    if (m_state == State::Down && !m_notified && now - m_since >= kNotifyAfter) {
        m_notified = true;
        if (m_notifier)
            m_notifier->lineDown(m_downText);
    }
}

void LineStatus::goDown()
{
    if (m_state != State::Down) {
        m_state = State::Down;
        m_tipBeforeDown = m.trayRecord.szTip;
    }
    m.trayRecord.lineDown = true;
    m.trayRecord.setTip("<" + m_downText + ">");
    m_downTip = m.trayRecord.szTip; // as cut to the tooltip's length
    m.tray.modify(m.trayRecord);
    show(m_downText);
}

void LineStatus::show(const std::string &status)
{
    m_statusText = status;
    if (m_view)
        m_view(m_statusText);
}
