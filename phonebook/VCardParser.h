#pragma once

#include "phonebook/PhonebookEntry.h"

#include <string>
#include <string_view>

/// Reads the cards of one vCard file (versions 2.1, 3.0 and 4.0 as real exporters write
/// them) into a book with one entry per TEL; each entry's origin is "path:line" of its TEL.
/// Written here rather than taken from a library: Debian 12 has no vCard library for Qt 6.
/// A damaged card is skipped with one notice naming path and line; the other cards count.
PhonebookBook parseVCards(std::string_view bytes, const std::string &path);

/// Decodes a value's bytes in the named charset (UTF-8, ISO-8859-1, WINDOWS-1252; empty
/// for none named) to UTF-8. Bytes that are not UTF-8 where UTF-8 is expected are read as
/// WINDOWS-1252, which is what old exporters that name no charset wrote.
std::string vCardToUtf8(std::string_view bytes, std::string_view charset);
