// capisim: a CAPI-over-TCP peer on 127.0.0.1 for libcapi20's "fritzbox" module.
#include "tools/capisim/Scenario.h"
#include "tools/capisim/Simulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>

namespace {

volatile bool g_stop = false;

void onSignal(int)
{
    g_stop = true;
}

void usage()
{
    std::fputs(
        "usage: capisim [--port N] [--port-file FILE] [--transcript FILE] [--applid N]\n"
        "               [--listen-info N] [--register-error N] [--never-answer] [--full-queue]\n"
        "               [--interactive] [--exit-at-end]\n"
        "               [SCENARIO]\n",
        stderr);
}

unsigned long number(const char *text, unsigned long max)
{
    char *end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 0);
    if (*text == '\0' || *end != '\0' || v > max)
        throw std::invalid_argument(std::string("bad number: ") + text);
    return v;
}

} // namespace

int main(int argc, char *argv[])
{
    try {
        capisim::Options o;
        std::string scenarioFile;
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            auto value = [&]() -> const char * {
                if (i + 1 >= argc)
                    throw std::invalid_argument(a + " needs a value");
                return argv[++i];
            };
            if (a == "--port")
                o.port = static_cast<int>(number(value(), 65535));
            else if (a == "--port-file")
                o.portFile = value();
            else if (a == "--transcript")
                o.transcriptFile = value();
            else if (a == "--applid")
                o.firstApplId = static_cast<std::uint16_t>(number(value(), 1023));
            else if (a == "--listen-info")
                o.listenInfo = static_cast<std::uint16_t>(number(value(), 0xffff));
            else if (a == "--register-error")
                o.registerError = static_cast<std::uint16_t>(number(value(), 0xffff));
            else if (a == "--never-answer")
                o.neverAnswer = true;
            else if (a == "--full-queue")
                o.fullQueue = true;
            else if (a == "--interactive")
                o.interactive = true;
            else if (a == "--exit-at-end")
                o.exitAtEnd = true;
            else if (a == "-h" || a == "--help") {
                usage();
                return 0;
            } else if (!a.empty() && a[0] != '-' && scenarioFile.empty())
                scenarioFile = a;
            else
                throw std::invalid_argument("unknown argument " + a);
        }
        if (o.firstApplId == 0)
            throw std::invalid_argument("--applid must be 1 to 1023");
        if (!scenarioFile.empty()) {
            std::ifstream in(scenarioFile);
            if (!in)
                throw std::runtime_error("cannot read " + scenarioFile);
            std::stringstream text;
            text << in.rdbuf();
            o.scenario = capisim::parseScenario(text.str());
        }
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
        capisim::Simulator sim(std::move(o));
        return sim.run(g_stop);
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr, "capisim: %s\n", e.what());
        usage();
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "capisim: %s\n", e.what());
        return 1;
    }
}
