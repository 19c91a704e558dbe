#include "tools/simcore/Main.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace simcore {

namespace {

volatile bool g_stop = false;

void onSignal(int)
{
    g_stop = true;
}

int port(const std::string &text)
{
    char *end = nullptr;
    const unsigned long port = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || port > 65535)
        throw std::invalid_argument("bad port: " + text);
    return static_cast<int>(port);
}

} // namespace

unsigned long number(const char *text, unsigned long max)
{
    char *end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 0);
    if (*text == '\0' || *end != '\0' || v > max)
        throw std::invalid_argument(std::string("bad number: ") + text);
    return v;
}

std::string readScenarioFile(const std::string &file)
{
    if (file.empty())
        return {};
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error("cannot read " + file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int main(int argc, char *argv[], const Tool &tool)
{
    try {
        Options o;
        std::string scenarioFile;
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            const std::function<const char *()> value = [&]() -> const char * {
                if (i + 1 >= argc)
                    throw std::invalid_argument(a + " needs a value");
                return argv[++i];
            };
            if (a == "--port") {
                o.port = port(value());
            } else if (a == "--port-file") {
                o.portFile = value();
            } else if (a == "--transcript") {
                o.transcriptFile = value();
            } else if (a == "--exit-at-end") {
                o.exitAtEnd = true;
            } else if (a == "-h" || a == "--help") {
                std::fputs(tool.usage, stderr);
                return 0;
            } else if (tool.option(a, value)) {
            } else if (!a.empty() && a[0] != '-' && scenarioFile.empty()) {
                scenarioFile = a;
            } else {
                throw std::invalid_argument("unknown argument " + a);
            }
        }
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
        return tool.run(o, scenarioFile, g_stop);
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr, "%s: %s\n", tool.name, e.what());
        std::fputs(tool.usage, stderr);
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", tool.name, e.what());
        return 1;
    }
}

} // namespace simcore
