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

/// Parses one line: false for a blank or comment line, else command, fresh for that line,
/// filled by parseWords(text, verb, args, line, command).
template<class Command, class ParseWords>
bool parseCommandLine(const std::string &text, int line, Command &command, ParseWords parseWords)
{
    const auto words = splitWords(text);
    if (!words)
        return false;
    command = Command{};
    command.line = line;
    parseWords(text, words->verb, words->args, line, command);
    return true;
}

/// key=value arguments; each key at most once and from the allowed set.
std::map<std::string, std::string> keyValues(const std::vector<std::string> &tokens, int line,
                                             std::initializer_list<const char *> allowed);
/// The value of a key that must be given.
const std::string &requiredValue(const std::map<std::string, std::string> &kv, const char *key,
                                 int line);
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

/// A verb both languages know the same way: a control of the run with no arguments, or with
/// seconds (sleep, restart, refuse).
template<class Kind> struct ControlVerb
{
    const char *verb;
    Kind kind;
    std::size_t minArgs = 0;
    std::size_t maxArgs = 0;
};

/// Parses a command of one of the control verbs; a ScenarioError for any other verb.
template<class Command>
void parseControl(const std::string &verb, const std::vector<std::string> &args, int line,
                  Command &command,
                  std::initializer_list<ControlVerb<typename Command::Kind>> verbs)
{
    for (const auto &v : verbs) {
        if (verb != v.verb)
            continue;
        expectArgs(args, v.minArgs, v.maxArgs, line, verb);
        command.kind = v.kind;
        if (v.maxArgs > 0)
            command.seconds = args.empty() ? 0 : parseSeconds(args[0], line);
        return;
    }
    throw ScenarioError(line, "unknown command '" + verb + "'");
}

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
