#include "base/Utf8.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(Utf8, ValidUtf8)
{
    for (const std::string_view ok :
         {"", "plain", "M\xC3\xBCller", "\xE2\x82\xAC", "\xF0\x9F\x93\x9E", "\xF4\x8F\xBF\xBF"})
        EXPECT_TRUE(isValidUtf8(ok)) << ok;
}

TEST(Utf8, InvalidUtf8)
{
    for (const std::string_view bad : {
             "M\xFCller",        // Windows-1252 ü
             "\xC3",             // truncated
             "\xE2\x82",         // truncated
             "\xC0\xAF",         // overlong
             "\xE0\x80\xAF",     // overlong
             "\xED\xA0\x80",     // surrogate
             "\xF4\x90\x80\x80", // above U+10FFFF
             "\x80",             // lone continuation
             "\xC3\x28",         // bad continuation
         })
        EXPECT_FALSE(isValidUtf8(bad));
}

TEST(Utf8, DecodesWindows1252)
{
    std::string out;
    appendWindows1252AsUtf8("M\xFCller \x80 \xE4\xF6\xDF \x84x\x93 \x81", out);
    EXPECT_EQ(out, "M\xC3\xBCller \xE2\x82\xAC \xC3\xA4\xC3\xB6\xC3\x9F \xE2\x80\x9Ex\xE2\x80\x9C "
                   "\xC2\x81");
    EXPECT_TRUE(isValidUtf8(out));
}

} // namespace
