#include "phonebook/PhonebookIndex.h"

#include <algorithm>

std::string PhonebookMatch::displayName() const
{
    if (kind == PhonebookMatchKind::Switchboard && !extension.empty())
        return name + " (Durchwahl " + extension + ")";
    return name;
}

PhonebookIndex::PhonebookIndex(NumberKeys keys) : m_keys(std::move(keys)) {}

std::vector<std::string> PhonebookIndex::add(const PhonebookBook &book)
{
    std::vector<std::string> conflicts;
    const auto bookIndex = static_cast<std::uint32_t>(m_books.size());
    m_books.push_back(book);
    const PhonebookBook &kept = m_books.back();
    for (std::uint32_t i = 0; i < kept.entries.size(); ++i) {
        const auto key = m_keys.savedKey(kept.entries[i].number);
        if (!key)
            continue;
        const Entry entry{bookIndex, i, key->withAreaCode};
        // A switchboard's own number is a number too: the call from the main line.
        insert(m_exact, key->e164, entry, conflicts);
        if (key->switchboard) {
            insert(m_prefixes, key->e164, entry, conflicts);
            m_longestPrefix = std::max(m_longestPrefix, key->e164.size());
        }
    }
    return conflicts;
}

void PhonebookIndex::insert(std::unordered_map<std::string, Entry> &map, const std::string &key,
                            const Entry &entry, std::vector<std::string> &conflicts)
{
    const auto [it, inserted] = map.try_emplace(key, entry);
    if (inserted)
        return;
    const std::string &had = m_books[it->second.book].entries[it->second.index].name;
    const std::string &now = m_books[entry.book].entries[entry.index].name;
    if (had != now)
        conflicts.push_back(key + ": " + had + " / " + now);
}

std::optional<PhonebookMatch> PhonebookIndex::lookup(std::string_view caller) const
{
    const auto key = m_keys.callerKey(caller);
    if (!key)
        return std::nullopt;
    return lookup(*key);
}

std::optional<PhonebookMatch> PhonebookIndex::lookup(const NumberKeys::Key &caller) const
{
    const NumberKeys::Key *key = &caller;
    const auto kind = [&](const Entry &e) {
        return key->withAreaCode || e.withAreaCode ? PhonebookMatchKind::AreaCode
                                                   : PhonebookMatchKind::Exact;
    };
    if (const auto it = m_exact.find(key->e164); it != m_exact.end())
        return match(it->second, kind(it->second));
    // The longest saved prefix wins: a department's "-0" before the company's.
    const std::string &k = key->e164;
    for (std::size_t len = std::min(m_longestPrefix, k.size() - 1); len >= 3; --len) {
        const auto it = m_prefixes.find(k.substr(0, len));
        if (it == m_prefixes.end())
            continue;
        auto found = match(it->second, PhonebookMatchKind::Switchboard);
        found->extension = k.substr(len);
        return found;
    }
    return std::nullopt;
}

std::optional<PhonebookMatch> PhonebookIndex::match(const Entry &entry,
                                                    PhonebookMatchKind kind) const
{
    const PhonebookBook &book = m_books[entry.book];
    const PhonebookEntry &e = book.entries[entry.index];
    PhonebookMatch m;
    m.name = e.name;
    m.source = book.source;
    m.origin = e.origin;
    m.number = e.number;
    m.kind = kind;
    return m;
}
