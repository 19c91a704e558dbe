#include "phonebook/VCardParser.h"

#include "base/Notice.h"
#include "base/Utf8.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

namespace {

// A name or number longer than this is no name but damage (a runaway or hostile file).
constexpr std::size_t kMaxValueBytes = 64 * 1024;
// More damaged cards in one file than this are summed up in one last notice.
constexpr int kMaxNoticesPerFile = 5;

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

bool containsNoCase(std::string_view text, std::string_view word)
{
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        if (equalsNoCase(text.substr(i, word.size()), word))
            return true;
    }
    return false;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string singleByteToUtf8(std::string_view s, bool cp1252)
{
    std::string out;
    if (cp1252) {
        appendWindows1252AsUtf8(s, out);
        return out;
    }
    out.reserve(s.size() + s.size() / 4);
    for (const char ch : s)
        appendUtf8(static_cast<unsigned char>(ch), out);
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string decodeQuotedPrintable(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '=' && i + 2 < s.size()) {
            const int hi = hexValue(s[i + 1]);
            const int lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        if (s[i] == '=' && i + 1 == s.size())
            break; // a soft break left at the very end
        out += s[i];
    }
    return out;
}

/// One property line after unfolding: group and name, parameters, raw value.
struct Property
{
    std::string name; // without its group, as written
    std::vector<std::pair<std::string, std::string>> params;
    std::string value;
    int line = 0;
    bool valid = true;

    std::string param(std::string_view key) const
    {
        for (const auto &[k, v] : params) {
            if (equalsNoCase(k, key))
                return v;
        }
        return {};
    }
    bool hasParamValue(std::string_view word) const
    {
        for (const auto &[k, v] : params) {
            if (containsNoCase(v, word) || containsNoCase(k, word))
                return true;
        }
        return false;
    }
};

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

/// Position of the first c outside double quotes, or npos.
std::size_t findUnquoted(std::string_view s, char c, std::size_t from = 0)
{
    bool quoted = false;
    for (std::size_t i = from; i < s.size(); ++i) {
        if (s[i] == '"')
            quoted = !quoted;
        else if (s[i] == c && !quoted)
            return i;
    }
    return std::string_view::npos;
}

std::string unquote(std::string_view v)
{
    v = trim(v);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

Property splitProperty(std::string_view text, int line)
{
    Property p;
    p.line = line;
    const std::size_t colon = findUnquoted(text, ':');
    // A line without a colon (a bare "FN") is the property with an empty value.
    const std::string_view head = colon == std::string_view::npos ? text : text.substr(0, colon);
    if (colon != std::string_view::npos)
        p.value.assign(text.substr(colon + 1));
    std::size_t start = 0;
    bool first = true;
    while (start <= head.size()) {
        std::size_t end = findUnquoted(head, ';', start);
        if (end == std::string_view::npos)
            end = head.size();
        const std::string_view part = head.substr(start, end - start);
        if (first) {
            std::string_view name = trim(part);
            if (const auto dot = name.rfind('.'); dot != std::string_view::npos)
                name.remove_prefix(dot + 1); // "item1.TEL": the group is not needed
            p.name.assign(name);
            for (const char c : part) {
                if (!isNameChar(c) && c != ' ' && c != '\t')
                    p.valid = false;
            }
            if (name.empty())
                p.valid = false;
            first = false;
        } else if (!trim(part).empty()) {
            if (const auto eq = part.find('='); eq != std::string_view::npos)
                p.params.emplace_back(std::string(trim(part.substr(0, eq))),
                                      unquote(part.substr(eq + 1)));
            else // 2.1's bare parameters: "TEL;CELL;HOME:", "ENCODING" words without a key
                p.params.emplace_back(std::string(trim(part)), std::string());
        }
        start = end + 1;
    }
    return p;
}

/// Splits a structured value on unescaped ';' and resolves \, \; \n \\ in each part.
std::vector<std::string> splitComponents(std::string_view value)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char n = value[++i];
            parts.back() += (n == 'n' || n == 'N') ? '\n' : n;
        } else if (c == ';') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::string joinNonEmpty(const std::vector<std::string> &parts, char sep)
{
    std::string out;
    for (const auto &part : parts) {
        const std::string_view t = trim(part);
        if (t.empty())
            continue;
        if (!out.empty())
            out += sep;
        out += t;
    }
    return out;
}

/// The decoded text of a property's value: transfer encoding, then charset.
std::string decodedValue(const Property &p)
{
    std::string raw = p.value;
    if (p.hasParamValue("QUOTED-PRINTABLE"))
        raw = decodeQuotedPrintable(raw);
    return vCardToUtf8(raw, p.param("CHARSET"));
}

/// The number of a TEL value: a "tel:" URI loses its scheme and keeps its extension as
/// digits after the number, which is how a direct-dial number is dialled.
std::string telNumber(std::string_view value)
{
    value = trim(value);
    if (value.size() >= 4 && equalsNoCase(value.substr(0, 4), "tel:"))
        value.remove_prefix(4);
    else
        return std::string(value);
    std::string number(value.substr(0, value.find(';')));
    for (std::size_t at = value.find(';'); at != std::string_view::npos;
         at = value.find(';', at + 1)) {
        const std::string_view rest = value.substr(at + 1);
        if (rest.size() > 4 && equalsNoCase(rest.substr(0, 4), "ext=")) {
            number += '-';
            number +=
                rest.substr(4, rest.find(';') == std::string_view::npos ? std::string_view::npos
                                                                        : rest.find(';') - 4);
        }
    }
    return number;
}

/// One card being read.
struct Card
{
    int beginLine = 0;
    std::string fn, n, org;
    std::vector<std::pair<std::string, int>> tels;
    bool damaged = false;
    int damageLine = 0;
};

class Reader
{
public:
    Reader(std::string_view bytes, const std::string &path) : m_bytes(bytes), m_path(path)
    {
        m_book.source = path;
    }

    PhonebookBook read()
    {
        std::string logical;
        int logicalLine = 0;
        std::size_t pos = 0;
        int lineNo = 0;
        bool softBreak = false;
        Head head;
        while (pos < m_bytes.size()) {
            std::size_t end = m_bytes.find('\n', pos);
            if (end == std::string_view::npos)
                end = m_bytes.size();
            std::string_view line = m_bytes.substr(pos, end - pos);
            pos = end + 1;
            ++lineNo;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            const bool folded = !line.empty() && (line.front() == ' ' || line.front() == '\t');
            if (softBreak) {
                // QUOTED-PRINTABLE's "=" at the end continues on the next line as it stands.
                logical += line;
            } else if (folded && logicalLine != 0) {
                logical += line.substr(1);
            } else {
                if (logicalLine != 0)
                    handle(logical, logicalLine);
                logical.assign(line);
                logicalLine = lineNo;
                head = Head{};
            }
            softBreak =
                !logical.empty() && logical.back() == '=' && head.isQuotedPrintable(logical);
            if (softBreak) {
                logical.pop_back();
                head.scanned = std::min(head.scanned, logical.size());
            }
        }
        if (logicalLine != 0)
            handle(logical, logicalLine);
        if (m_card)
            damaged(m_card->beginLine, "Karte ohne END:VCARD");
        if (m_dropped > 0)
            notice("vCard " + m_path + ": " + std::to_string(m_dropped) +
                   " weitere beschädigte Karten übersprungen");
        return std::move(m_book);
    }

private:
    /// Where a logical line's name and parameters end, found once however many lines the
    /// value spans (a rescan per line would make a long value quadratic).
    struct Head
    {
        std::size_t scanned = 0;
        bool quoted = false;
        std::optional<bool> quotedPrintable;

        bool isQuotedPrintable(std::string_view logical)
        {
            for (; !quotedPrintable && scanned < logical.size(); ++scanned) {
                if (logical[scanned] == '"')
                    quoted = !quoted;
                else if (logical[scanned] == ':' && !quoted)
                    quotedPrintable =
                        containsNoCase(logical.substr(0, scanned), "QUOTED-PRINTABLE");
            }
            return quotedPrintable.value_or(false);
        }
    };

    void handle(std::string_view text, int line)
    {
        if (trim(text).empty())
            return;
        const Property p = splitProperty(text, line);
        if (equalsNoCase(p.name, "BEGIN") && equalsNoCase(trim(p.value), "VCARD")) {
            if (m_card)
                damaged(m_card->beginLine, "Karte ohne END:VCARD");
            m_card.emplace();
            m_card->beginLine = line;
            return;
        }
        if (!m_card) {
            if (!m_toldOutside && !(equalsNoCase(p.name, "END") && p.valid)) {
                m_toldOutside = true;
                notice("vCard " + m_path + ":" + std::to_string(line) +
                       ": Text außerhalb einer Karte übersprungen");
            }
            return;
        }
        if (!p.valid) {
            markDamaged(line);
            return;
        }
        if (equalsNoCase(p.name, "END")) {
            finish();
            return;
        }
        const bool wanted = equalsNoCase(p.name, "FN") || equalsNoCase(p.name, "N") ||
                            equalsNoCase(p.name, "ORG") || equalsNoCase(p.name, "TEL");
        if (!wanted)
            return;
        if (p.value.size() > kMaxValueBytes) {
            markDamaged(line);
            return;
        }
        const std::string value = decodedValue(p);
        if (equalsNoCase(p.name, "FN"))
            m_card->fn = joinNonEmpty(splitComponents(value), ' ');
        else if (equalsNoCase(p.name, "N")) {
            const std::vector<std::string> parts = splitComponents(value);
            // N is family;given;additional;prefix;suffix; shown as "given family".
            m_card->n = joinNonEmpty({parts.size() > 1 ? parts[1] : std::string(), parts[0]}, ' ');
        } else if (equalsNoCase(p.name, "ORG")) {
            // The organisation's name; its units (department, team) would only lengthen it.
            m_card->org = std::string(trim(splitComponents(value).front()));
        } else
            m_card->tels.emplace_back(telNumber(value), line);
    }

    void finish()
    {
        Card card = std::move(*m_card);
        m_card.reset();
        if (card.damaged) {
            damaged(card.damageLine, "beschädigte Zeile");
            return;
        }
        std::string name = !card.fn.empty() ? card.fn : !card.n.empty() ? card.n : card.org;
        for (auto &c : name) {
            if (c == '\n' || c == '\r' || c == '\t')
                c = ' ';
        }
        if (card.tels.empty() || name.empty())
            return; // nothing to name a number with, or no number to name
        for (auto &[number, line] : card.tels) {
            if (trim(number).empty())
                continue;
            m_book.entries.push_back(
                {name, std::string(trim(number)), m_path + ":" + std::to_string(line)});
        }
    }

    void markDamaged(int line)
    {
        if (!m_card->damaged)
            m_card->damageLine = line;
        m_card->damaged = true;
    }

    void damaged(int line, const char *why)
    {
        m_card.reset();
        if (m_notices++ >= kMaxNoticesPerFile) {
            ++m_dropped;
            return;
        }
        notice("vCard " + m_path + ":" + std::to_string(line) + ": Karte übersprungen (" + why +
               ")");
    }

    std::string_view m_bytes;
    std::string m_path;
    PhonebookBook m_book;
    std::optional<Card> m_card;
    bool m_toldOutside = false;
    int m_notices = 0;
    int m_dropped = 0;
};

} // namespace

std::string vCardToUtf8(std::string_view bytes, std::string_view charset)
{
    if (equalsNoCase(charset, "ISO-8859-1") || equalsNoCase(charset, "LATIN1"))
        return singleByteToUtf8(bytes, false);
    if (equalsNoCase(charset, "WINDOWS-1252") || equalsNoCase(charset, "CP1252"))
        return singleByteToUtf8(bytes, true);
    if (isValidUtf8(bytes))
        return std::string(bytes);
    return singleByteToUtf8(bytes, true);
}

PhonebookBook parseVCards(std::string_view bytes, const std::string &path)
{
    return Reader(bytes, path).read();
}
