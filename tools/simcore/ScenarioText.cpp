#include "tools/simcore/ScenarioText.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace simcore {

std::optional<Words> splitWords(const std::string &text)
{
    std::istringstream in(text);
    Words words;
    if (!(in >> words.verb) || words.verb[0] == '#')
        return std::nullopt;
    for (std::string t; in >> t;) {
        if (t[0] == '#')
            break;
        words.args.push_back(t);
    }
    return words;
}

std::map<std::string, std::string> keyValues(const std::vector<std::string> &tokens, int line,
                                             std::initializer_list<const char *> allowed)
{
    std::map<std::string, std::string> out;
    for (const auto &t : tokens) {
        const auto eq = t.find('=');
        if (eq == std::string::npos || eq == 0)
            throw ScenarioError(line, "expected key=value, got '" + t + "'");
        const std::string key = t.substr(0, eq);
        bool ok = false;
        for (const char *a : allowed)
            ok = ok || key == a;
        if (!ok)
            throw ScenarioError(line, "unknown key '" + key + "'");
        if (!out.emplace(key, t.substr(eq + 1)).second)
            throw ScenarioError(line, "key '" + key + "' given twice");
    }
    return out;
}

const std::string &requiredValue(const std::map<std::string, std::string> &kv, const char *key,
                                 int line)
{
    const auto it = kv.find(key);
    if (it == kv.end())
        throw ScenarioError(line, std::string("missing ") + key + "=");
    return it->second;
}

void expectArgs(const std::vector<std::string> &args, std::size_t min, std::size_t max, int line,
                const std::string &verb)
{
    if (args.size() < min || args.size() > max)
        throw ScenarioError(line, "wrong number of arguments to " + verb);
}

double parseSeconds(const std::string &text, int line)
{
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || v < 0 || v > 86400)
        throw ScenarioError(line, "bad seconds: '" + text + "'");
    return v;
}

std::optional<std::uint32_t> toNumber(const std::string &text, std::uint32_t max)
{
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || text[0] == '-' || v > max)
        return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

std::uint32_t parseNumber(const std::string &text, std::uint32_t max, int line,
                          const std::string &what)
{
    const auto v = toNumber(text, max);
    if (!v)
        throw ScenarioError(line, "bad " + what + ": '" + text + "'");
    return *v;
}

std::string toHex(const Bytes &bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3);
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        if (i)
            out += ' ';
        out += buf;
    }
    return out;
}

Bytes fromHex(const std::string &text)
{
    Bytes out;
    int high = -1;
    for (const char ch : text) {
        if (ch == ' ' || ch == '\t' || ch == ':' || ch == ',')
            continue;
        int v = -1;
        if (ch >= '0' && ch <= '9')
            v = ch - '0';
        else if (ch >= 'a' && ch <= 'f')
            v = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F')
            v = ch - 'A' + 10;
        if (v < 0)
            throw std::invalid_argument("not a hex digit: '" + std::string(1, ch) + "'");
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits");
    return out;
}

Bytes parseHex(const std::string &text, int line)
{
    try {
        return fromHex(text);
    } catch (const std::invalid_argument &e) {
        throw ScenarioError(line, e.what());
    }
}

} // namespace simcore
