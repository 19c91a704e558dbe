#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

/// What both simulators' scenario languages share: one command a line, a verb and its
/// words up to a comment, key=value arguments, seconds and hex bytes.
namespace simcore {

using Bytes = std::vector<std::uint8_t>;

class ScenarioError : public std::runtime_error
{
public:
    ScenarioError(int line, const std::string &what)
        : std::runtime_error("line " + std::to_string(line) + ": " + what), m_line(line)
    {}
    int line() const { return m_line; }

private:
    int m_line;
};

/// A scenario line: its verb and the words after it, up to a word starting with '#'.
struct Words
{
    std::string verb;
    std::vector<std::string> args;
};
/// Nothing for a blank or comment line.
std::optional<Words> splitWords(const std::string &text);

/// key=value arguments; each key at most once and from the allowed set.
std::map<std::string, std::string> keyValues(const std::vector<std::string> &tokens, int line,
                                             std::initializer_list<const char *> allowed);
void expectArgs(const std::vector<std::string> &args, std::size_t min, std::size_t max, int line,
                const std::string &verb);
/// 0 to 86400 seconds, fractions allowed.
double parseSeconds(const std::string &text, int line);
/// A whole number up to max, decimal or 0x hex.
std::optional<std::uint32_t> toNumber(const std::string &text, std::uint32_t max);
std::uint32_t parseNumber(const std::string &text, std::uint32_t max, int line,
                          const std::string &what);

/// "11 00 01 ..." and back; fromHex accepts the bytes with or without blanks.
std::string toHex(const Bytes &bytes);
Bytes fromHex(const std::string &text);
/// fromHex whose mistakes name the scenario line.
Bytes parseHex(const std::string &text, int line);

/// Parses a whole scenario with parseLine(text, line, command), which is false for a line
/// without a command.
template<class Command, class ParseLine>
std::vector<Command> parseLines(const std::string &text, ParseLine parseLine)
{
    std::vector<Command> out;
    std::istringstream in(text);
    std::string lineText;
    int line = 0;
    while (std::getline(in, lineText)) {
        ++line;
        Command c;
        if (parseLine(lineText, line, c))
            out.push_back(std::move(c));
    }
    return out;
}

} // namespace simcore
