// routersim: a router's call monitor (the plain-text lines of TCP port 1012) on 127.0.0.1.
#include "tools/routersim/Scenario.h"
#include "tools/routersim/Simulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
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
        "usage: routersim [--port N] [--port-file FILE] [--transcript FILE] [--exit-at-end]\n"
        "                 [SCENARIO]\n",
        stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    try {
        routersim::Options o;
        std::string scenarioFile;
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc)
                    throw std::invalid_argument(a + " needs a value");
                return argv[++i];
            };
            if (a == "--port") {
                const std::string v = value();
                char *end = nullptr;
                const unsigned long port = std::strtoul(v.c_str(), &end, 10);
                if (v.empty() || *end != '\0' || port > 65535)
                    throw std::invalid_argument("bad port: " + v);
                o.port = static_cast<int>(port);
            } else if (a == "--port-file") {
                o.portFile = value();
            } else if (a == "--transcript") {
                o.transcriptFile = value();
            } else if (a == "--exit-at-end") {
                o.exitAtEnd = true;
            } else if (a == "-h" || a == "--help") {
                usage();
                return 0;
            } else if (!a.empty() && a[0] != '-' && scenarioFile.empty()) {
                scenarioFile = a;
            } else {
                throw std::invalid_argument("unknown argument " + a);
            }
        }
        if (!scenarioFile.empty()) {
            std::ifstream in(scenarioFile);
            if (!in)
                throw std::runtime_error("cannot read " + scenarioFile);
            std::stringstream text;
            text << in.rdbuf();
            o.scenario = routersim::parseScenario(text.str());
        }
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
        routersim::Simulator sim(std::move(o));
        return sim.run(g_stop);
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr, "routersim: %s\n", e.what());
        usage();
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "routersim: %s\n", e.what());
        return 1;
    }
}
