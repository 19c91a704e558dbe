#include "LockKeySignaller.h"

LockKeySignaller::LockKeySignaller(KeyboardSynth &keyboard, LockKeyFlags &flags)
    : m_keyboard(keyboard), m_flags(flags)
{}

void LockKeySignaller::setMsn(int i, std::string value)
{
    m_msn.at(i) = std::move(value);
}

void LockKeySignaller::signal(std::string_view) {}
