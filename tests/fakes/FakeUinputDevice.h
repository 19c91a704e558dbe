#pragma once

#include "settings/UinputDevice.h"

#include <memory>
#include <string>
#include <vector>

/// Records what the uinput keyboard asked of its device; can refuse the creation or the
/// n-th write with an errno. The record outlives the device, which its keyboard owns.
struct UinputRecord
{
    struct Event
    {
        unsigned type;
        unsigned code;
        int value;
        bool operator==(const Event &) const = default;
    };
    std::vector<std::string> createdNames;
    std::vector<unsigned> keyCodes;
    std::vector<Event> events;
    int createError = 0;
    int writeError = 0;
    /// Writes before writeError applies (then every later write fails too).
    std::size_t failAfter = 0;
};

class FakeUinputDevice final : public UinputDevice
{
public:
    explicit FakeUinputDevice(std::shared_ptr<UinputRecord> record) : m_record(std::move(record)) {}

    int create(const std::string &name, const std::vector<unsigned> &keyCodes) override
    {
        m_record->createdNames.push_back(name);
        m_record->keyCodes = keyCodes;
        return m_record->createError;
    }
    int writeEvent(unsigned type, unsigned code, int value) override
    {
        if (m_record->writeError && m_writes++ >= m_record->failAfter)
            return m_record->writeError;
        m_record->events.push_back({type, code, value});
        return 0;
    }

private:
    std::shared_ptr<UinputRecord> m_record;
    std::size_t m_writes = 0;
};
