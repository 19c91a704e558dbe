#include "tools/capisim/Simulator.h"

#include "base/LittleEndian.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace capisim {

namespace {

std::runtime_error systemError(const std::string &what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

Simulator::Simulator(Options options)
    : m_options(std::move(options)), m_applIdCounter(m_options.firstApplId)
{
    m_queue.assign(m_options.scenario.begin(), m_options.scenario.end());
    m_stdinOpen = m_options.interactive;
    if (m_options.transcriptFile.empty()) {
        m_transcript = stdout;
    } else {
        m_transcript = std::fopen(m_options.transcriptFile.c_str(), "a");
        if (!m_transcript)
            throw systemError(m_options.transcriptFile);
    }
    m_port = m_options.port;
    openListener();
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
    std::fprintf(stderr, "capisim: listening on 127.0.0.1:%d\n", m_port);
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
    if (listen(m_listenFd, m_options.fullQueue ? 0 : 16) != 0)
        throw systemError("listen");
    socklen_t len = sizeof addr;
    getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    if (m_options.fullQueue)
        fillAcceptQueue();
    record({"LISTENING", {{"port", std::to_string(m_port)}}}, {});
}

void Simulator::fillAcceptQueue()
{
    // With a backlog of 0 the kernel queues one connection; while nobody accepts it, the
    // SYNs of every further one are dropped, as by a host that is switched off.
    for (int i = 0; i < 4; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            throw systemError("socket");
        m_queueFillers.push_back(fd);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(m_port));
        if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
            continue;
        pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, 200) == 0)
            return; // this one hangs: the queue is full
    }
}

void Simulator::closeListener()
{
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
    for (int fd : m_queueFillers)
        ::close(fd);
    m_queueFillers.clear();
}

void Simulator::accept()
{
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    // The library expects each frame in one piece.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->id = m_nextConnectionId++;
    record({"OPEN", {{"conn", std::to_string(c->id)}}}, {});
    m_connections.push_back(std::move(c));
}

void Simulator::close(Connection &c, const char *why)
{
    if (c.fd < 0)
        return;
    ::close(c.fd);
    c.fd = -1;
    record({"CLOSE", {{"conn", std::to_string(c.id)}, {"why", why}}}, {});
}

void Simulator::closeAll(const char *why)
{
    for (auto &c : m_connections)
        close(*c, why);
    m_connections.clear();
}

bool Simulator::sendAll(Connection &c, const Bytes &bytes)
{
    // One send per frame; a short send on loopback means the peer is gone.
    const ssize_t n = ::send(c.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n != static_cast<ssize_t>(bytes.size())) {
        close(c, "send");
        return false;
    }
    return true;
}

void Simulator::readFrom(Connection &c)
{
    std::uint8_t buf[8192];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n <= 0) {
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        close(c, "peer");
        return;
    }
    c.reader.feed(buf, static_cast<std::size_t>(n));
    Bytes payload;
    for (;;) {
        const auto status = c.reader.next(payload);
        if (status == FrameReader::Status::NeedMore)
            return;
        if (status == FrameReader::Status::Broken) {
            record({"BAD_FRAME", {{"conn", std::to_string(c.id)}, {"reason", c.reader.error()}}},
                   {});
            close(c, "bad-frame");
            return;
        }
        handleFrame(c, payload);
        if (c.fd < 0)
            return;
    }
}

std::uint16_t Simulator::nextApplId()
{
    // The library takes ApplIDs 1 to 1023 only.
    const std::uint16_t id = m_applIdCounter;
    m_applIdCounter = static_cast<std::uint16_t>(id >= 1023 ? 1 : id + 1);
    return id;
}

void Simulator::handleFrame(Connection &c, const Bytes &payload)
{
    Decoded d = decode(payload);
    if (isSilent()) {
        // Seen, for the tests to wait on, and left without an answer.
        d.fields.emplace_back("ignored", "1");
        record(d, payload);
        return;
    }
    if (const auto m = parseManagement(payload)) {
        switch (m->kind) {
        case Management::Kind::Register: {
            const std::uint16_t id = nextApplId();
            d.fields.insert(d.fields.begin(), {"appl", std::to_string(id)});
            if (m_options.registerError)
                d.fields.emplace_back("error", hexWord(m_options.registerError));
            record(d, payload);
            if (sendAll(c, registerReply(id, m_options.registerError)) &&
                !m_options.registerError) {
                c.registered = true;
                c.applId = id;
            }
            return;
        }
        case Management::Kind::Release:
            record(d, payload);
            // The library does not wait for an answer; the connection has done its work.
            close(c, "release");
            return;
        case Management::Kind::Profile:
            record(d, payload);
            sendAll(c, profileReply(m->controller));
            return;
        case Management::Kind::Unknown:
            record(d, payload);
            return;
        }
    }
    record(d, payload);
    if (payload.size() < 12)
        return;
    const std::uint16_t applId = readWord(payload.data() + 2);
    const std::uint16_t number = readWord(payload.data() + 6);
    const std::uint32_t dw = readDword(payload.data() + 8);
    if (d.name == "LISTEN_REQ")
        sendAll(c, frame(listenConf(applId, number, dw, m_options.listenInfo)));
    else if (d.name == "ALERT_REQ")
        sendAll(c, frame(alertConf(applId, number, dw, 0)));
}

void Simulator::record(const Decoded &decoded, const Bytes &bytes)
{
    const std::string line = formatTranscriptLine(timeOfDay(), decoded, bytes);
    std::fprintf(m_transcript, "%s\n", line.c_str());
    std::fflush(m_transcript);
    if (auto e = parseTranscriptLine(line))
        m_entries.push_back(std::move(*e));
}

void Simulator::note(const std::string &text)
{
    std::fprintf(stderr, "capisim: %s\n", text.c_str());
}

void Simulator::readStdin()
{
    char buf[4096];
    const ssize_t n = ::read(0, buf, sizeof buf);
    if (n <= 0) {
        m_stdinOpen = false;
        return;
    }
    m_stdinBuffer.append(buf, static_cast<std::size_t>(n));
    for (auto nl = m_stdinBuffer.find('\n'); nl != std::string::npos;
         nl = m_stdinBuffer.find('\n')) {
        const std::string text = m_stdinBuffer.substr(0, nl);
        m_stdinBuffer.erase(0, nl + 1);
        Command c;
        try {
            if (parseCommand(text, ++m_stdinLine, c))
                m_queue.push_back(std::move(c));
        } catch (const ScenarioError &e) {
            // A typing error costs one line, not the session.
            note(std::string("stdin ") + e.what());
        }
    }
}

bool Simulator::sendToApplications(const Command &command)
{
    bool any = false;
    if (isSilent())
        return false;
    for (auto &c : m_connections) {
        if (c->fd < 0 || !c->registered)
            continue;
        Bytes out;
        if (command.kind == Command::Kind::SendStream) {
            out = command.bytes;
        } else {
            Bytes message = command.bytes;
            setHeader(message, c->applId, m_messageNumber);
            out = frame(message);
        }
        if (sendAll(*c, out)) {
            any = true;
            const Decoded d = command.kind == Command::Kind::SendStream
                                  ? Decoded{"stream", {}}
                                  : decode(Bytes(out.begin() + 3, out.end()));
            std::string text = "sent " + d.name;
            for (const auto &[k, v] : d.fields)
                text += ' ' + k + '=' + v;
            note(text + " to conn " + std::to_string(c->id));
        }
    }
    if (any)
        ++m_messageNumber;
    return any;
}

bool Simulator::step()
{
    const auto now = Clock::now();
    if (m_reopenAt) {
        if (now < *m_reopenAt)
            return true;
        m_reopenAt.reset();
        openListener();
    }
    while (!m_queue.empty()) {
        const Command &c = m_queue.front();
        switch (c.kind) {
        case Command::Kind::Send:
        case Command::Kind::SendStream:
            // Messages wait for an application to take them.
            if (!sendToApplications(c))
                return true;
            break;
        case Command::Kind::Sleep:
            if (!m_sleepUntil)
                m_sleepUntil = now + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(c.seconds));
            if (now < *m_sleepUntil)
                return true;
            m_sleepUntil.reset();
            break;
        case Command::Kind::WaitFor: {
            if (!m_commandStarted && c.seconds >= 0)
                m_waitDeadline = now + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(c.seconds));
            m_commandStarted = true;
            bool found = false;
            for (; m_waitCursor < m_entries.size() && !found; ++m_waitCursor)
                found = matches(m_entries[m_waitCursor], c.condition);
            if (!found) {
                if (!m_waitDeadline || now < *m_waitDeadline)
                    return true;
                record({"WAIT_TIMEOUT",
                        {{"name", c.condition.name}, {"line", std::to_string(c.line)}}},
                       {});
            }
            m_waitDeadline.reset();
            break;
        }
        case Command::Kind::ListenInfo:
            m_options.listenInfo = c.info;
            break;
        case Command::Kind::Silent:
            m_silent = true;
            record({"SILENT", {}}, {});
            break;
        case Command::Kind::Talk:
            m_silent = false;
            record({"TALK", {}}, {});
            break;
        case Command::Kind::DropConnection:
            closeAll("drop");
            break;
        case Command::Kind::Restart:
            closeAll("restart");
            closeListener();
            record({"RESTART", {{"seconds", std::to_string(c.seconds)}}}, {});
            m_reopenAt = now + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(c.seconds));
            m_queue.pop_front();
            m_commandStarted = false;
            return true;
        case Command::Kind::Exit:
            m_exit = true;
            return false;
        }
        m_queue.pop_front();
        m_commandStarted = false;
    }
    return !(m_options.exitAtEnd && !m_stdinOpen);
}

int Simulator::run(const volatile bool &stop)
{
    while (!stop && !m_exit) {
        if (!step())
            break;
        std::vector<pollfd> fds;
        // With a full queue the listener is never served.
        if (m_listenFd >= 0)
            fds.push_back({m_listenFd, static_cast<short>(m_options.fullQueue ? 0 : POLLIN), 0});
        if (m_stdinOpen)
            fds.push_back({0, POLLIN, 0});
        const std::size_t firstConnection = fds.size();
        for (auto &c : m_connections)
            fds.push_back({c->fd, POLLIN, 0});
        // Short enough for sleeps and restarts to end on time.
        if (poll(fds.data(), fds.size(), 20) < 0) {
            if (errno == EINTR)
                continue;
            throw systemError("poll");
        }
        std::size_t i = 0;
        if (m_listenFd >= 0 && (fds[i++].revents & POLLIN))
            accept();
        if (m_stdinOpen && (fds[i++].revents & (POLLIN | POLLHUP)))
            readStdin();
        for (std::size_t k = 0; k + firstConnection < fds.size() && k < m_connections.size(); ++k) {
            if (fds[firstConnection + k].revents & (POLLIN | POLLHUP | POLLERR))
                readFrom(*m_connections[k]);
        }
        std::erase_if(m_connections, [](const auto &c) { return c->fd < 0; });
    }
    return 0;
}

} // namespace capisim
