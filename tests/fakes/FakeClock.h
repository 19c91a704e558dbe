#pragma once

#include "calllog/Clock.h"

/// A clock standing at a set time; advanceSecond moves it on.
class FakeClock final : public Clock
{
public:
    FakeClock(int year = 2000, int month = 12, int day = 30, int hour = 14, int minute = 5,
              int second = 9)
    {
        m_tm.tm_year = year - 1900;
        m_tm.tm_mon = month - 1;
        m_tm.tm_mday = day;
        m_tm.tm_hour = hour;
        m_tm.tm_min = minute;
        m_tm.tm_sec = second;
        m_tm.tm_isdst = -1;
        std::mktime(&m_tm);
    }
    std::tm localNow() const override { return m_tm; }
    void advanceSecond()
    {
        ++m_tm.tm_sec;
        std::mktime(&m_tm);
    }

private:
    std::tm m_tm{};
};
