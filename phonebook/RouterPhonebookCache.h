#pragma once

#include "phonebook/PhonebookEntry.h"

#include <string>
#include <vector>

/// The last good router phonebooks on disk, in the router's own XML format, with the own area
/// and country code as the router gave them. Read and written in whole; both block (the
/// write ends with fdatasync), so the program calls them off the UI thread.
namespace RouterPhonebookCache {

constexpr const char *kFileName = "router-telefonbuch.xml";

struct Contents
{
    bool found = false;
    std::vector<PhonebookBook> books;
    std::string areaCode;
    std::string countryCode;
    std::string error; // a copy that cannot be read, or a write that failed
};

/// Writes dir/kFileName with mode 0600 through a temporary file and a rename, so a reader
/// sees the old copy or the new one, never a half. Returns an error text, empty when done.
/// Of writes racing each other, the last one started wins.
std::string save(const std::string &dir, const Contents &contents);

Contents load(const std::string &dir);

} // namespace RouterPhonebookCache
