#include "settings/LockKeySignaller.h"

LockKeySignaller::LockKeySignaller(KeyboardSynth &keyboard, LockKeyFlags &flags)
    : m_keyboard(keyboard), m_flags(flags)
{}

void LockKeySignaller::setMsn(int i, std::string value)
{
    m_msn.at(i) = std::move(value);
}

bool LockKeySignaller::matches(std::string_view setting, std::string_view calledNumber)
{
    if (calledNumber.empty())
        return false;
    return calledNumber.find(setting) != std::string_view::npos;
}

void LockKeySignaller::signal(std::string_view calledNumber)
{
    struct Slot
    {
        LockKey key;
        std::int16_t &flag;
    };
    const std::array<Slot, 3> slots{{{LockKey::NumLock, m_flags.NumLockSignalled},
                                     {LockKey::CapsLock, m_flags.CapsLockSignalled},
                                     {LockKey::ScrollLock, m_flags.ScrollLockSignalled}}};
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const Slot &slot = slots[i];
        if (slot.flag == 0 && matches(m_msn[i + 1], calledNumber)) {
            m_keyboard.toggleLockKey(slot.key);
            // Set whether or not the toggle had an effect: each key reacts once per run.
            slot.flag = -1;
        }
    }
}
