#include "tools/simcore/Server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simcore {

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    return addr;
}

} // namespace

std::runtime_error systemError(const std::string &what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

std::string timeOfDay()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms));
    return buf;
}

Server::Server(const char *name, const Options &options, bool appendTranscript, int backlog)
    : m_name(name), m_options(options), m_backlog(backlog), m_port(options.port)
{
    if (m_options.transcriptFile.empty()) {
        m_transcript = stdout;
    } else {
        m_transcript = std::fopen(m_options.transcriptFile.c_str(), appendTranscript ? "a" : "w");
        if (!m_transcript)
            throw systemError(m_options.transcriptFile);
    }
}

Server::~Server()
{
    // Only after a failed start or run is anything still open here, and the derived server
    // that would record it is gone.
    for (auto &c : m_connections)
        if (c->fd >= 0)
            ::close(c->fd);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_transcript && m_transcript != stdout)
        std::fclose(m_transcript);
}

void Server::announce()
{
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
    note("listening on 127.0.0.1:" + std::to_string(m_port));
}

void Server::shutDown()
{
    closeAll("exit");
    closeListener();
}

void Server::openListener()
{
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        throw systemError("socket");
    const int one = 1;
    setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr = loopback(m_port);
    if (bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw systemError("bind 127.0.0.1:" + std::to_string(m_port));
    if (listen(m_listenFd, m_backlog) != 0)
        throw systemError("listen");
    socklen_t len = sizeof addr;
    getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    listenerOpened();
    event("LISTENING", {{"port", std::to_string(m_port)}});
}

void Server::closeListener()
{
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
    listenerClosed();
}

Server::Outcome Server::closeFor(double seconds, const char *name, const char *why)
{
    closeAll(why);
    closeListener();
    event(name, {{"seconds", std::to_string(seconds)}});
    m_reopenAt = after(seconds);
    return Outcome::DoneAndWait;
}

Server::Outcome Server::drop()
{
    closeAll("drop");
    return Outcome::Done;
}

std::unique_ptr<Connection> Server::accepted(int)
{
    return std::make_unique<Connection>();
}

void Server::accept()
{
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    // The peers expect each message in one piece, as soon as it is sent.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = accepted(fd);
    c->fd = fd;
    c->id = m_nextConnectionId++;
    event("OPEN", {{"conn", std::to_string(c->id)}});
    m_connections.push_back(std::move(c));
}

void Server::close(Connection &c, const char *why)
{
    if (c.fd < 0)
        return;
    ::close(c.fd);
    c.fd = -1;
    event("CLOSE", {{"conn", std::to_string(c.id)}, {"why", why}});
}

void Server::closeAll(const char *why)
{
    for (auto &c : m_connections)
        close(*c, why);
    m_connections.clear();
}

std::string Server::writeTranscript(const std::string &text)
{
    const std::string line = timeOfDay() + ' ' + text;
    std::fprintf(m_transcript, "%s\n", line.c_str());
    std::fflush(m_transcript);
    return line;
}

void Server::note(const std::string &text) const
{
    std::fprintf(stderr, "%s: %s\n", m_name, text.c_str());
}

Server::Clock::time_point Server::after(double seconds)
{
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

Server::Outcome Server::sleep(double seconds)
{
    if (!m_sleepUntil)
        m_sleepUntil = after(seconds);
    return Clock::now() < *m_sleepUntil ? Outcome::Wait : Outcome::Done;
}

Server::Outcome Server::waitFor(bool met, double timeout, Fields timeoutFields)
{
    if (!m_commandStarted && timeout >= 0)
        m_waitDeadline = after(timeout);
    m_commandStarted = true;
    if (met)
        return Outcome::Done;
    if (!m_waitDeadline || Clock::now() < *m_waitDeadline)
        return Outcome::Wait;
    event("WAIT_TIMEOUT", timeoutFields);
    return Outcome::Done;
}

void Server::commandDone()
{
    m_commandStarted = false;
    m_sleepUntil.reset();
    m_waitDeadline.reset();
}

int Server::run(const volatile bool &stop)
{
    while (!stop && !m_exit) {
        // While the port is closed for a while, the scenario waits for it to open again.
        if (m_reopenAt && Clock::now() >= *m_reopenAt) {
            m_reopenAt.reset();
            openListener();
        }
        if (!m_reopenAt && !step())
            break;
        std::vector<pollfd> fds;
        if (m_listenFd >= 0)
            fds.push_back({m_listenFd, static_cast<short>(m_acceptConnections ? POLLIN : 0), 0});
        const bool input = m_inputOpen;
        if (input)
            fds.push_back({0, POLLIN, 0});
        const std::size_t firstConnection = fds.size();
        for (auto &c : m_connections)
            fds.push_back({c->fd, POLLIN, 0});
        // Short enough for sleeps and reopening to end on time without a timer of their own.
        if (poll(fds.data(), fds.size(), 20) < 0) {
            if (errno == EINTR)
                continue;
            throw systemError("poll");
        }
        std::size_t i = 0;
        if (m_listenFd >= 0 && (fds[i++].revents & POLLIN))
            accept();
        if (input && (fds[i++].revents & (POLLIN | POLLHUP)))
            readInput();
        for (std::size_t k = 0; k + firstConnection < fds.size() && k < m_connections.size(); ++k) {
            if (fds[firstConnection + k].revents & (POLLIN | POLLHUP | POLLERR))
                readFrom(*m_connections[k]);
        }
        std::erase_if(m_connections, [](const auto &c) { return c->fd < 0; });
    }
    shutDown();
    return 0;
}

} // namespace simcore
