// The settings file's text rules on arbitrary bytes. Beyond not crashing: a value read is
// at most 255 bytes and one line (a CR inside a line stays, as the Windows reader kept it); after
// removing a key it reads as "", and removing it again finds nothing; a resolved file name keeps
// the name the settings gave; after a write the key reads as written, a second write of the
// same value changes nothing, and the other key read here keeps its value.
#include "settings/ProfileText.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void checkValue(const std::string &value)
{
    if (value.size() > ProfileText::MaxValueLength || value.find('\n') != std::string::npos)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    // Two length bytes pick the section and the key from the front; the rest is the file.
    const std::string_view rest(reinterpret_cast<const char *>(data) + 2, size - 2);
    const std::size_t sectionLength = std::min<std::size_t>(data[0] % 16, rest.size());
    const std::size_t keyLength = std::min<std::size_t>(data[1] % 16, rest.size() - sectionLength);
    const std::string_view section = rest.substr(0, sectionLength);
    const std::string_view key = rest.substr(sectionLength, keyLength);
    const std::string_view text = rest.substr(sectionLength + keyLength);

    checkValue(ProfileText::findValue(text, section, key));
    // The names the program reads, so that every line of a real file gets parsed.
    checkValue(ProfileText::findValue(text, "Allgemein", "IniDatei"));

    if (const auto removed = ProfileText::removeKey(text, section, key)) {
        if (removed->size() >= text.size())
            std::abort();
        if (!ProfileText::findValue(*removed, section, key).empty())
            std::abort();
        if (ProfileText::removeKey(*removed, section, key))
            std::abort();
    } else if (!ProfileText::findValue(text, section, key).empty()) {
        std::abort(); // a value was read from a line that removeKey does not see
    }

    const ProfileText::Assignment write{std::string(section), std::string(key), "4711"};
    const auto lower = [](std::string_view s) {
        std::string out(s);
        for (char &c : out)
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        return out;
    };
    if (ProfileText::isWritable(write) &&
        !(lower(section) == "allgemein" && lower(key) == "inidatei")) {
        const std::string other = ProfileText::findValue(text, "Allgemein", "IniDatei");
        const std::string written =
            ProfileText::setValues(text, {write}).value_or(std::string(text));
        if (ProfileText::findValue(written, section, key) != "4711" ||
            ProfileText::setValues(written, {write}) ||
            ProfileText::findValue(written, "Allgemein", "IniDatei") != other)
            std::abort();
    }

    const std::string name(key);
    const std::string dir(section);
    const std::string path = ProfileText::resolveFileName(name, dir);
    const std::string given = name.find('.') == std::string::npos ? name + ".INI" : name;
    if (!path.ends_with(given))
        std::abort();
    if (given.find('/') == std::string::npos &&
        (!path.starts_with(dir) ||
         path.size() != given.size() + dir.size() + (dir.empty() || dir.back() != '/')))
        std::abort();
    return 0;
}
