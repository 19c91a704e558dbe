#pragma once

#include "calllog/Clock.h"

#include <ctime>

/// A local time as its fields, without day of week or of year.
inline std::tm tmAt(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

/// A clock standing at a set time; advanceSecond moves it on.
class FakeClock final : public Clock
{
public:
    FakeClock(int year = 2000, int month = 12, int day = 30, int hour = 14, int minute = 5,
              int second = 9)
        : m_tm(tmAt(year, month, day, hour, minute, second))
    {
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
