#include "tools/routersim/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace routersim {

namespace {

std::runtime_error systemError(const std::string &what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

std::string printable(const std::string &bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", b);
            out += buf;
        }
    }
    return out;
}

} // namespace

Simulator::Simulator(Options options) : m_options(std::move(options))
{
    m_port = m_options.port;
    m_queue.assign(m_options.scenario.begin(), m_options.scenario.end());
    m_transcript = m_options.transcriptFile.empty()
                       ? stdout
                       : std::fopen(m_options.transcriptFile.c_str(), "w");
    if (!m_transcript)
        throw systemError(m_options.transcriptFile);
    openListener();
    // A refusal at the start begins before anyone learns the port: no client slips in.
    if (!m_queue.empty() && m_queue.front().kind == Command::Kind::Refuse)
        step();
    if (!m_options.portFile.empty()) {
        // Written under a temporary name first, so a reader never sees half a number.
        const std::string tmp = m_options.portFile + ".tmp";
        std::FILE *f = std::fopen(tmp.c_str(), "w");
        if (!f)
            throw systemError(tmp);
        std::fprintf(f, "%d\n", m_port);
        std::fclose(f);
        if (std::rename(tmp.c_str(), m_options.portFile.c_str()) != 0)
            throw systemError(m_options.portFile);
    }
    std::fprintf(stderr, "routersim: listening on 127.0.0.1:%d\n", m_port);
}

Simulator::~Simulator()
{
    closeAll("exit");
    closeListener();
    if (m_transcript && m_transcript != stdout)
        std::fclose(m_transcript);
}

void Simulator::openListener()
{
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        throw systemError("socket");
    const int one = 1;
    setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(m_port));
    if (bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw systemError("bind 127.0.0.1:" + std::to_string(m_port));
    if (listen(m_listenFd, 16) != 0)
        throw systemError("listen");
    socklen_t len = sizeof addr;
    getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    record("LISTENING port=" + std::to_string(m_port));
}

void Simulator::closeListener()
{
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
}

void Simulator::accept()
{
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A client that stops reading must not stall the scenario for ever.
    const timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    Client c;
    c.fd = fd;
    c.id = m_nextClientId++;
    record("OPEN conn=" + std::to_string(c.id));
    m_clients.push_back(c);
}

void Simulator::readFrom(Client &c)
{
    // The call monitor is one-way: what a client sends is read and dropped.
    char buf[4096];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
        close(c, "peer");
}

void Simulator::close(Client &c, const char *why)
{
    if (c.fd < 0)
        return;
    ::close(c.fd);
    c.fd = -1;
    record("CLOSE conn=" + std::to_string(c.id) + " why=" + why);
}

void Simulator::closeAll(const char *why)
{
    for (auto &c : m_clients)
        close(c, why);
    m_clients.clear();
}

void Simulator::send(const Command &command)
{
    std::string bytes = command.dated ? routerTime() + command.bytes : command.bytes;
    if (command.terminate)
        bytes += m_crlf ? "\r\n" : "\n";
    for (auto &c : m_clients) {
        if (c.fd < 0)
            continue;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(c.fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        if (done < bytes.size()) {
            close(c, "send");
            continue;
        }
        record("SENT conn=" + std::to_string(c.id) + " | " + printable(bytes));
    }
    std::fprintf(stderr, "routersim: %s", printable(bytes).c_str());
    std::fputc('\n', stderr);
}

bool Simulator::step()
{
    const auto now = Clock::now();
    if (m_reopenAt && now >= *m_reopenAt) {
        m_reopenAt.reset();
        openListener();
    }
    while (!m_queue.empty()) {
        const Command &c = m_queue.front();
        const bool first = !m_commandStarted;
        m_commandStarted = true;
        const bool connected = std::any_of(m_clients.begin(), m_clients.end(),
                                           [](const Client &cl) { return cl.fd >= 0; });
        switch (c.kind) {
        case Command::Kind::Send:
            // Lines wait for a client, as a router's call monitor has no one to tell.
            if (!connected)
                return true;
            send(c);
            break;
        case Command::Kind::Sleep:
            if (first)
                m_sleepUntil = now + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(c.seconds));
            if (now < *m_sleepUntil)
                return true;
            m_sleepUntil.reset();
            break;
        case Command::Kind::WaitClient:
            if (first && c.seconds >= 0)
                m_waitDeadline = now + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(c.seconds));
            if (!connected) {
                if (!m_waitDeadline || now < *m_waitDeadline)
                    return true;
                record("WAIT_TIMEOUT line=" + std::to_string(c.line));
            }
            m_waitDeadline.reset();
            break;
        case Command::Kind::Endings:
            m_crlf = c.crlf;
            break;
        case Command::Kind::Drop:
            closeAll("drop");
            break;
        case Command::Kind::Refuse:
            closeAll("refuse");
            closeListener();
            record("REFUSE seconds=" + std::to_string(c.seconds));
            m_reopenAt = now + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(c.seconds));
            m_queue.pop_front();
            m_commandStarted = false;
            // The commands after it wait for the port to open again.
            return true;
        case Command::Kind::Exit:
            m_exit = true;
            return false;
        }
        m_queue.pop_front();
        m_commandStarted = false;
    }
    return !m_options.exitAtEnd;
}

int Simulator::run(const volatile bool &stop)
{
    while (!stop && !m_exit) {
        if (!m_reopenAt || Clock::now() >= *m_reopenAt) {
            if (!step())
                break;
        }
        std::vector<pollfd> fds;
        if (m_listenFd >= 0)
            fds.push_back({m_listenFd, POLLIN, 0});
        for (const auto &c : m_clients)
            if (c.fd >= 0)
                fds.push_back({c.fd, POLLIN, 0});
        // Short waits keep sleeps and reopening on time without a timer of their own.
        const int ready = ::poll(fds.data(), fds.size(), 20);
        if (ready < 0 && errno != EINTR)
            throw systemError("poll");
        if (ready <= 0)
            continue;
        for (const auto &p : fds) {
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (p.fd == m_listenFd) {
                accept();
            } else {
                for (auto &c : m_clients)
                    if (c.fd == p.fd)
                        readFrom(c);
            }
        }
        m_clients.erase(std::remove_if(m_clients.begin(), m_clients.end(),
                                       [](const Client &c) { return c.fd < 0; }),
                        m_clients.end());
    }
    return 0;
}

void Simulator::record(const std::string &text)
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::fprintf(m_transcript, "%02d:%02d:%02d.%03lld %s\n", tm.tm_hour, tm.tm_min, tm.tm_sec,
                 static_cast<long long>(ms), text.c_str());
    std::fflush(m_transcript);
}

} // namespace routersim
