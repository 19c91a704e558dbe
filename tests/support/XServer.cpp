#include "tests/support/XServer.h"

#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace {

bool displayInUse(int n)
{
    return std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
           std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock");
}

} // namespace

XServer::XServer()
{
    // Spread parallel test programs over different numbers; skip numbers in use.
    const int base = 100 + static_cast<int>(getpid() % 400);
    for (int i = 0; i < 50; ++i) {
        const int n = base + i;
        if (displayInUse(n))
            continue;
        m_display = ":" + std::to_string(n);
        m_xvfb.start(
            {"Xvfb", m_display, "-screen", "0", "1024x768x24", "-noreset", "-nolisten", "tcp"});
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (waitUntil([&] { return std::filesystem::exists(socket) || !m_xvfb.isRunning(); }) &&
            m_xvfb.isRunning())
            return;
        m_xvfb.stop();
    }
    throw std::runtime_error("no Xvfb display could be started");
}

XServer::~XServer()
{
    m_xvfb.stop();
}
