#include "settings/ProfileText.h"

namespace ProfileText {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Only ASCII letters fold: the file's encoding is unknown, and other bytes compare as they are.
bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

enum class EntryKind { Other, Section, Key };

struct Entry
{
    EntryKind kind = EntryKind::Other;
    std::string_view name;
    std::string_view value;
};

// One entry of the file without its "\n". Blank entries, ";" comments and keys before any
// section are all "Other" or keys that the caller ignores; a key without "=" is a key with
// an empty value, so that a read stops at it and a delete takes it too.
Entry parseEntry(std::string_view raw)
{
    const std::string_view t = trimmed(raw);
    if (t.empty() || t.front() == ';')
        return {};
    if (t.front() == '[') {
        const std::size_t close = t.rfind(']');
        const std::string_view inner =
            close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1);
        return {EntryKind::Section, trimmed(inner), {}};
    }
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return {EntryKind::Key, t, {}};
    return {EntryKind::Key, trimmed(t.substr(0, eq)), t.substr(eq + 1)};
}

bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool isUtf8Lead(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0xC0;
}

// The value as a read gives it: up to a NUL (the value is a C text everywhere it goes),
// blanks trimmed, one pair of enclosing quotes removed, at most MaxValueLength bytes.
std::string cleanValue(std::string_view v)
{
    const std::size_t nul = v.find('\0');
    if (nul != std::string_view::npos)
        v = v.substr(0, nul);
    v = trimmed(v);
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\''))
        v = v.substr(1, v.size() - 2);
    if (v.size() > MaxValueLength) {
        // Do not leave half a UTF-8 character at the end of the cut.
        std::size_t n = MaxValueLength;
        if (isUtf8Continuation(v[n])) {
            std::size_t k = n;
            while (k > 0 && n - k < 3 && isUtf8Continuation(v[k - 1]))
                --k;
            if (k > 0 && isUtf8Lead(v[k - 1]))
                n = k - 1;
        }
        v = v.substr(0, n);
    }
    return std::string(v);
}

// Calls f(entry without "\n", the entry's bytes including its "\n") for every entry,
// until f returns false.
template<class F> void forEachEntry(std::string_view text, F f)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
        const std::size_t contentEnd = nl == std::string_view::npos ? text.size() : nl;
        if (!f(text.substr(pos, contentEnd - pos), text.substr(pos, end - pos)))
            return;
        pos = end;
    }
}

// The file's own line ending, taken from its first line; "\n" for a file without one.
std::string_view lineEnding(std::string_view text)
{
    const std::size_t nl = text.find('\n');
    return nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r' ? "\r\n" : "\n";
}

// The value as it is written so that a read gives it back: quoted when a read would
// otherwise trim its blanks or take off its own quotes.
std::string writtenValue(std::string_view value)
{
    const bool trims = !value.empty() && (isBlank(value.front()) || isBlank(value.back()));
    const bool quoted = value.size() >= 2 && value.front() == value.back() &&
                        (value.front() == '"' || value.front() == '\'');
    if (!trims && !quoted)
        return std::string(value);
    const char q = value.front() == '"' ? '\'' : '"';
    return q + std::string(value) + q;
}

// The entry with its value replaced: the key, its spacing and "=" and the blanks after it
// stay as they were, and so does the line's "\r".
std::string replacedEntry(std::string_view content, std::string_view value)
{
    const bool cr = !content.empty() && content.back() == '\r';
    if (cr)
        content.remove_suffix(1);
    std::size_t keep = content.find('=');
    std::string out;
    if (keep == std::string_view::npos) {
        out = std::string(trimmed(content)) + "=";
        const std::size_t lead = content.find_first_not_of(" \t");
        out.insert(0, content.substr(0, lead == std::string_view::npos ? 0 : lead));
    } else {
        ++keep;
        while (keep < content.size() && (content[keep] == ' ' || content[keep] == '\t'))
            ++keep;
        out = std::string(content.substr(0, keep));
    }
    out += writtenValue(value);
    if (cr)
        out += '\r';
    return out;
}

std::optional<std::string> setValue(std::string_view text, const Assignment &a)
{
    bool inSection = false;
    bool inFirstSection = false;
    bool sectionSeen = false;
    std::optional<std::size_t> insertAt; // after the first section's last entry
    std::optional<std::size_t> keyAt;    // the key's entry, and its length without "\n"
    std::size_t keyLength = 0;
    bool same = false;
    std::size_t pos = 0;
    forEachEntry(text, [&](std::string_view content, std::string_view whole) {
        const Entry entry = parseEntry(content);
        const std::size_t at = pos;
        pos += whole.size();
        if (entry.kind == EntryKind::Section) {
            inSection = sameName(entry.name, a.section);
            inFirstSection = inSection && !sectionSeen;
            if (inFirstSection) {
                sectionSeen = true;
                insertAt = pos;
            }
        } else if (entry.kind == EntryKind::Key && inSection) {
            if (sameName(entry.name, a.key)) {
                same = cleanValue(entry.value) == a.value;
                keyAt = at;
                keyLength = content.size();
                return false;
            }
            if (inFirstSection)
                insertAt = pos;
        }
        return true;
    });
    if (same)
        return std::nullopt;
    if (keyAt) {
        std::string out(text.substr(0, *keyAt));
        out += replacedEntry(text.substr(*keyAt, keyLength), a.value);
        out.append(text.substr(*keyAt + keyLength));
        return out;
    }
    const std::string_view eol = lineEnding(text);
    const std::string line = a.key + "=" + writtenValue(a.value);
    if (insertAt) {
        std::string out(text.substr(0, *insertAt));
        // The section's last entry may be the file's last line, without a line ending.
        if (out.empty() || out.back() != '\n')
            out.append(eol);
        out.append(line).append(eol).append(text.substr(*insertAt));
        return out;
    }
    std::string out(text);
    if (!out.empty() && out.back() != '\n')
        out.append(eol);
    // A blank line between the last entry and the new section, unless one is there.
    if (!out.empty() && !std::string_view(out).ends_with(std::string(eol) + std::string(eol)))
        out.append(eol);
    out.append("[").append(a.section).append("]").append(eol).append(line).append(eol);
    return out;
}

} // namespace

bool isWritable(const Assignment &a)
{
    const auto clean = [](std::string_view s) {
        return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
    };
    const std::string_view key = trimmed(a.key);
    return clean(a.section) && clean(a.key) && clean(a.value) &&
           a.section.find(']') == std::string::npos && !key.empty() && key == a.key &&
           key.find('=') == std::string_view::npos && key.front() != ';' && key.front() != '[' &&
           trimmed(a.section) == a.section;
}

std::optional<std::string> setValues(std::string_view text, const std::vector<Assignment> &list)
{
    std::optional<std::string> result;
    for (const Assignment &a : list) {
        if (!isWritable(a))
            continue;
        if (auto next = setValue(result ? std::string_view(*result) : text, a))
            result = std::move(next);
    }
    return result;
}

std::string resolveFileName(std::string IniDatei, const std::string &programDir)
{
    if (IniDatei.find('.') == std::string::npos)
        IniDatei += ".INI";
    if (IniDatei.find('/') != std::string::npos)
        return IniDatei;
    std::string path = programDir;
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + IniDatei;
}

// A section that appears twice is read as one: its keys are searched in file order,
// so the first entry of the key in the first such section that has it wins.
std::string findValue(std::string_view text, std::string_view section, std::string_view key)
{
    bool inSection = false;
    std::string result;
    forEachEntry(text, [&](std::string_view content, std::string_view) {
        const Entry entry = parseEntry(content);
        if (entry.kind == EntryKind::Section) {
            inSection = sameName(entry.name, section);
        } else if (entry.kind == EntryKind::Key && inSection && sameName(entry.name, key)) {
            result = cleanValue(entry.value);
            return false;
        }
        return true;
    });
    return result;
}

// Every entry of the key goes, in every section of that name, so that a read after the
// delete finds nothing.
std::optional<std::string> removeKey(std::string_view text, std::string_view section,
                                     std::string_view key)
{
    bool inSection = false;
    bool removed = false;
    std::string out;
    out.reserve(text.size());
    forEachEntry(text, [&](std::string_view content, std::string_view whole) {
        const Entry entry = parseEntry(content);
        if (entry.kind == EntryKind::Section)
            inSection = sameName(entry.name, section);
        if (entry.kind == EntryKind::Key && inSection && sameName(entry.name, key))
            removed = true;
        else
            out.append(whole);
        return true;
    });
    if (!removed)
        return std::nullopt;
    return out;
}

} // namespace ProfileText
