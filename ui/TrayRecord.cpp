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
    for (const std::string *line : {&nameLine, &szTip}) {
        if (line->empty() || (lineDown && line == &nameLine))
            continue;
        if (!text.empty())
            text += '\n';
        text += *line;
    }
    return text;
}
