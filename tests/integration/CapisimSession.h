#pragma once

#include "tests/support/ChildProcess.h"
#include "tools/capisim/Transcript.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

/// capisim on a loopback port with a scenario, and a private HOME whose .capi20rc points
/// libcapi20 at it. HOME is set in this process before the library is first asked, and
/// every session ends with a release, so the library reads its configuration afresh.
class CapisimSession
{
public:
    /// A loopback port that was free a moment ago.
    static int freePort()
    {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
        close(fd);
        return ntohs(a.sin_port);
    }

    /// ApplIDs of their own for each test process: the library shares its ApplID table
    /// between all processes on the machine.
    static int ownApplId() { return 100 + static_cast<int>(getpid() % 800); }

    explicit CapisimSession(int port = 0) : m_port(port)
    {
        setenv("HOME", m_home.path().c_str(), 1);
        if (m_port)
            writeRc();
    }

    ~CapisimSession() { stop(); }

    std::string path(const std::string &name) const { return m_home.path() + "/" + name; }
    const std::string &home() const { return m_home.path(); }
    int port() const { return m_port; }

    /// Starts capisim with this scenario text and waits until it listens.
    void start(const std::string &scenario, std::vector<std::string> extra = {})
    {
        {
            std::ofstream(path("scenario.txt")) << scenario;
        }
        std::remove(path("port").c_str());
        std::vector<std::string> argv{KW_CAPISIM_PATH,       "--port",     std::to_string(m_port),
                                      "--port-file",         path("port"), "--transcript",
                                      path("transcript.txt")};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back(path("scenario.txt"));
        m_sim.start(argv, {}, "/dev/null", path("capisim.err"));
        if (!waitUntil([&] { return readPort() > 0; }, std::chrono::seconds(10)))
            throw std::runtime_error("capisim did not start: " + read(path("capisim.err")));
        m_port = readPort();
        writeRc();
    }

    void stop() { m_sim.stop(); }
    bool isRunning() { return m_sim.isRunning(); }

    std::vector<capisim::TranscriptEntry> transcript() const
    {
        std::vector<capisim::TranscriptEntry> out;
        std::istringstream in(read(path("transcript.txt")));
        for (std::string line; std::getline(in, line);)
            if (auto e = capisim::parseTranscriptLine(line))
                out.push_back(std::move(*e));
        return out;
    }

    /// The n-th (from 0) transcript entry that meets the condition, once there is one.
    std::optional<capisim::TranscriptEntry>
    waitForEntry(const capisim::Condition &c, int n = 0,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        std::optional<capisim::TranscriptEntry> found;
        waitUntil(
            [&] {
                int seen = 0;
                for (auto &e : transcript())
                    if (capisim::matches(e, c) && seen++ == n) {
                        found = e;
                        return true;
                    }
                return false;
            },
            timeout);
        return found;
    }

    int count(const capisim::Condition &c) const
    {
        int n = 0;
        for (auto &e : transcript())
            n += capisim::matches(e, c);
        return n;
    }

    static std::string read(const std::string &file)
    {
        std::ifstream in(file);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    int readPort() const { return std::atoi(read(path("port")).c_str()); }
    void writeRc() const
    {
        // The library's parser drops the last character of every line: end each in '\n'.
        std::ofstream(path(".capi20rc"))
            << "REMOTE fritzbox 127.0.0.1 " << m_port << "\nTRACELEVEL 0\n";
    }

    TempDir m_home;
    ChildProcess m_sim;
    int m_port;
};

/// Fails the test process when a guarded stretch does not end within its time: a CAPI call
/// that blocks cannot be interrupted, only reported.
class Watchdog
{
public:
    explicit Watchdog(std::chrono::seconds limit, const char *what)
        : m_thread([this, limit, what] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, limit, [&] { return m_finished; })) {
                  std::fprintf(stderr, "Watchdog: %s did not return within %lld s\n", what,
                               static_cast<long long>(limit.count()));
                  std::_Exit(1);
              }
          })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};
