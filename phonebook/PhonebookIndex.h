#pragma once

#include "phonebook/NumberKeys.h"
#include "phonebook/PhonebookEntry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// How a caller found its entry.
enum class PhonebookMatchKind {
    Exact,       // the same number
    AreaCode,    // the same number once the own area code was put in front of one side
    Switchboard, // a direct dial behind a number saved with "-0"
};

/// What the index knows of one caller.
struct PhonebookMatch
{
    std::string name;      // the entry's name as saved
    std::string source;    // the book: a file's path, or "Router: <phonebook name>"
    std::string origin;    // the entry: "file:line", or the router phonebook's name
    std::string number;    // the entry's number as saved
    std::string extension; // the direct dial behind a switchboard prefix
    PhonebookMatchKind kind = PhonebookMatchKind::Exact;

    /// The name as shown: "Firma Beispiel (Durchwahl 123)" behind a switchboard.
    std::string displayName() const;
};

/// Every entry of the books under its E.164 key, switchboards also under their prefix. The
/// books are taken in order and the first book that names a number keeps it.
class PhonebookIndex
{
public:
    explicit PhonebookIndex(NumberKeys keys);

    /// Adds the book's entries that make a key; returns "number: A / B" for every number
    /// that an earlier entry names differently.
    std::vector<std::string> add(const PhonebookBook &book);

    /// The entry that names the caller, if any: exact key first, then the longest
    /// switchboard prefix of it.
    std::optional<PhonebookMatch> lookup(std::string_view caller) const;
    /// The same for a caller's key made with keys().
    std::optional<PhonebookMatch> lookup(const NumberKeys::Key &key) const;

    const NumberKeys &keys() const { return m_keys; }
    std::size_t size() const { return m_exact.size() + m_prefixes.size(); }

private:
    struct Entry
    {
        std::uint32_t book;
        std::uint32_t index; // in the book's entries
        bool withAreaCode;
    };

    std::optional<PhonebookMatch> match(const Entry &entry, PhonebookMatchKind kind) const;
    void insert(std::unordered_map<std::string, Entry> &map, const std::string &key,
                const Entry &entry, std::vector<std::string> &conflicts);

    NumberKeys m_keys;
    std::vector<PhonebookBook> m_books;
    std::unordered_map<std::string, Entry> m_exact;
    std::unordered_map<std::string, Entry> m_prefixes;
    std::size_t m_longestPrefix = 0;
};
