#include "app/MissedCalls.h"

#include "calllog/Clock.h"
#include "calllog/MissedCall.h"
#include "ui/Tray.h"
#include "ui/TrayRecord.h"

#include <array>
#include <ctime>

MissedCalls::MissedCalls(Tray &tray, TrayRecord &record, const Clock &clock)
    : m_tray(tray), m_record(record), m_clock(clock)
{}

void MissedCalls::callCompleted(std::string_view handling)
{
    if (!isMissedCall(handling) || (m_isShown && m_isShown()))
        return;
    const std::tm now = m_clock.localNow();
    std::array<char, 16> time{};
    std::strftime(time.data(), time.size(), "%H:%M", &now);
    m_record.addMissed(time.data());
    m_tray.modify(m_record);
}

void MissedCalls::clear()
{
    if (m_record.missedCount == 0)
        return;
    m_record.clearMissed();
    m_tray.modify(m_record);
}
