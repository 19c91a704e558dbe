#include "base/Utf8.h"

#include <array>
#include <cstdint>

bool isValidUtf8(std::string_view bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0)
                lo = 0xA0; // overlong
            else if (c == 0xED)
                hi = 0x9F; // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0)
                lo = 0x90; // overlong
            else if (c == 0xF4)
                hi = 0x8F; // above U+10FFFF
        } else {
            return false;
        }
        if (n - i < len || s[i + 1] < lo || s[i + 1] > hi)
            return false;
        for (std::size_t k = 2; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += len;
    }
    return true;
}

namespace {

// Code points of the bytes 0x80 to 0x9F in Windows-1252; the rest equal Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Writes cp (below U+10000) at w; returns the end of what it wrote.
char *putUtf8(char32_t cp, char *w)
{
    if (cp < 0x80) {
        *w++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *w++ = static_cast<char>(0xC0 | (cp >> 6));
        *w++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *w++ = static_cast<char>(0xE0 | (cp >> 12));
        *w++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *w++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return w;
}

} // namespace

void appendUtf8(char32_t cp, std::string &out)
{
    char buf[3];
    out.append(buf, static_cast<std::size_t>(putUtf8(cp, buf) - buf));
}

void appendWindows1252AsUtf8(std::string_view bytes, std::string &out)
{
    // Sized once for three bytes a character and cut to what was written: old logs are
    // decoded a row at a time, and a byte-wise append costs more than the decoding.
    const std::size_t from = out.size();
    out.resize(from + bytes.size() * 3);
    char *const begin = out.data();
    char *w = begin + from;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        w = putUtf8(c >= 0x80 && c < 0xA0 ? kHighControls[c - 0x80] : char32_t{c}, w);
    }
    out.resize(static_cast<std::size_t>(w - begin));
}
