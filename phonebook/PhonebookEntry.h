#pragma once

#include <string>
#include <vector>

/// One number that a source names, as the source wrote it.
struct PhonebookEntry
{
    std::string name;   // the display name (UTF-8)
    std::string number; // the number as saved ("0711 9876-0", "+49 30 1234567", "**3")
    std::string
        origin; // where it stands: "file:line" for a vCard, the phonebook's name for the router
};

/// The entries of one source: a vCard file, or one of the router's phonebooks.
struct PhonebookBook
{
    std::string source; // the file's path, or "Router: <phonebook name>"
    std::vector<PhonebookEntry> entries;
};
