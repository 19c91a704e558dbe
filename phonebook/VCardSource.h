#pragma once

#include "phonebook/PhonebookEntry.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

/// Reads the configured vCard files and folders (every *.vcf in a folder and its
/// subfolders, in name order). Files read before and unchanged since are not read again.
/// Not thread-safe: one load at a time.
class VCardSource
{
public:
    /// Files larger than this are refused with a notice.
    static constexpr std::int64_t kMaxFileBytes = 64LL * 1024 * 1024;

    /// One book per file, in the order of paths; a path that is missing is told once.
    std::vector<PhonebookBook> load(const std::vector<std::string> &paths);
    /// The files and folders a watcher must watch to see the last load's sources change.
    const std::vector<std::string> &watchPaths() const { return m_watch; }
    /// False when the last load read no file anew and found the same files as the one before.
    bool hasChanged() const { return m_changed; }

private:
    struct Cached
    {
        std::int64_t size = -1;
        std::int64_t mtimeNs = 0;
        PhonebookBook book;
    };

    void loadFile(const std::string &file, std::vector<PhonebookBook> &books,
                  std::map<std::string, Cached> &seen);

    std::map<std::string, Cached> m_cache;
    std::set<std::string> m_toldMissing;
    std::vector<std::string> m_watch;
    bool m_changed = true;
};
