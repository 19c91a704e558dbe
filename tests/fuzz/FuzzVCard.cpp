// The vCard reader on arbitrary bytes. Beyond not crashing: every entry has a name and a
// number, both valid UTF-8 (whatever charset the card claimed), and an origin "file:line"
// within the file's lines.
#include "phonebook/VCardParser.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool isUtf8(std::string_view s)
{
    return vCardToUtf8(s, "UTF-8") == s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::string path = "fuzz.vcf";
    const PhonebookBook book = parseVCards(bytes, path);
    const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
    for (const PhonebookEntry &entry : book.entries) {
        if (entry.name.empty() || entry.number.empty() || !isUtf8(entry.name))
            std::abort();
        if (entry.origin.rfind(path + ":", 0) != 0)
            std::abort();
        const std::size_t line = std::stoul(entry.origin.substr(path.size() + 1));
        if (line < 1 || line > lines)
            std::abort();
    }
    return 0;
}
