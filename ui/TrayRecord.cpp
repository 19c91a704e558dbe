#include "ui/TrayRecord.h"

void TrayRecord::setTip(std::string_view text)
{
    // Count code points, not bytes: a UTF-8 continuation byte starts no character.
    std::size_t chars = 0;
    std::size_t end = 0;
    for (; end < text.size(); ++end) {
        const auto c = static_cast<unsigned char>(text[end]);
        if ((c & 0xC0) != 0x80) {
            if (chars == kTipChars)
                break;
            ++chars;
        }
    }
    szTip.assign(text.substr(0, end));
}

std::string TrayRecord::tooltipText() const
{
    std::string text;
    for (const std::string *line : {&nameLine, &szTip, &missedLine}) {
        if (line->empty() || (lineDown && line == &nameLine))
            continue;
        if (!text.empty())
            text += '\n';
        text += *line;
    }
    return text;
}

void TrayRecord::addMissed(std::string_view time)
{
    ++missedCount;
    missedLine = std::to_string(missedCount) +
                 (missedCount == 1 ? " verpasster Anruf, zuletzt " : " verpasste Anrufe, zuletzt ");
    missedLine += time;
}

void TrayRecord::clearMissed()
{
    missedCount = 0;
    missedLine.clear();
}
