// The router's phonebook XML on arbitrary bytes. Beyond not crashing: every entry read has a
// name and a number and belongs to the book it is filed in, and a document read to its end
// reads the same a second time.
#include "phonebook/PhonebookXmlReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const auto result = PhonebookXmlReader::read(xml, "Telefonbuch");
    std::size_t entries = 0;
    for (const auto &book : result.books) {
        for (const auto &e : book.entries) {
            if (e.name.empty() || e.number.empty() ||
                book.source != PhonebookXmlReader::sourceName(e.origin))
                std::abort();
        }
        entries += book.entries.size();
    }
    if (result.error.empty()) {
        const auto again = PhonebookXmlReader::read(xml, "Telefonbuch");
        std::size_t againEntries = 0;
        for (const auto &book : again.books)
            againEntries += book.entries.size();
        if (againEntries != entries || !again.error.empty())
            std::abort();
    }
    return 0;
}
