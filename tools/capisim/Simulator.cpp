#include "tools/capisim/Simulator.h"

#include "base/LittleEndian.h"
#include "capi/CapiRecords.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace capisim {

Simulator::Simulator(Options options, std::vector<Command> scenario)
    : ScenarioServer("capisim", options, std::move(scenario), true, options.fullQueue ? 0 : 16),
      m_options(std::move(options)), m_applIdCounter(m_options.firstApplId)
{
    m_inputOpen = m_options.interactive;
    // With a full queue the listener is never served.
    m_acceptConnections = !m_options.fullQueue;
    openListener();
    announce();
}

void Simulator::listenerOpened()
{
    if (!m_options.fullQueue)
        return;
    // With a backlog of 0 the kernel queues one connection; while nobody accepts it, the
    // SYNs of every further one are dropped, as by a host that is switched off.
    for (int i = 0; i < 4; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            throw simcore::systemError("socket");
        m_queueFillers.push_back(fd);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port()));
        if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
            continue;
        pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, 200) == 0)
            return; // this one hangs: the queue is full
    }
}

void Simulator::listenerClosed()
{
    for (int fd : m_queueFillers)
        ::close(fd);
    m_queueFillers.clear();
}

void Simulator::event(const std::string &name, const simcore::Fields &fields)
{
    record({name, fields}, {});
}

std::unique_ptr<simcore::Connection> Simulator::accepted(int)
{
    return std::make_unique<Connection>();
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

void Simulator::readFrom(simcore::Connection &connection)
{
    auto &c = static_cast<Connection &>(connection);
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
    HeaderRecord h;
    if (payload.size() < PlciOffset::Plci + 4 || !h.copyFrom({payload.data(), payload.size()}))
        return;
    // LISTEN_REQ's Controller and ALERT_REQ's PLCI stand at the same place.
    const std::uint32_t dw = readDword(payload.data() + PlciOffset::Plci);
    if (d.name == "LISTEN_REQ")
        sendAll(c, frame(listenConf(h.applId, h.messageNumber, dw, m_options.listenInfo)));
    else if (d.name == "ALERT_REQ")
        sendAll(c, frame(alertConf(h.applId, h.messageNumber, dw, 0)));
}

void Simulator::record(const Decoded &decoded, const Bytes &bytes)
{
    const std::string line = writeTranscript(formatTranscriptEntry(decoded, bytes));
    if (auto e = parseTranscriptLine(line))
        m_entries.push_back(std::move(*e));
}

void Simulator::readInput()
{
    char buf[4096];
    const ssize_t n = ::read(0, buf, sizeof buf);
    if (n <= 0) {
        m_inputOpen = false;
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
    for (auto &connection : m_connections) {
        auto &c = static_cast<Connection &>(*connection);
        if (c.fd < 0 || !c.registered)
            continue;
        Bytes out;
        if (command.kind == Command::Kind::SendStream) {
            out = command.bytes;
        } else {
            Bytes message = command.bytes;
            setHeader(message, c.applId, m_messageNumber);
            out = frame(message);
        }
        if (sendAll(c, out)) {
            any = true;
            const Decoded d = command.kind == Command::Kind::SendStream
                                  ? Decoded{"stream", {}}
                                  : decode(Bytes(out.begin() + 3, out.end()));
            std::string text = "sent " + d.name;
            for (const auto &[k, v] : d.fields)
                text += ' ' + k + '=' + v;
            note(text + " to conn " + std::to_string(c.id));
        }
    }
    if (any)
        ++m_messageNumber;
    return any;
}

Simulator::Outcome Simulator::perform(const Command &c)
{
    switch (c.kind) {
    case Command::Kind::Exit:
        return Outcome::Exit;
    case Command::Kind::Send:
    case Command::Kind::SendStream:
        // Messages wait for an application to take them.
        return sendToApplications(c) ? Outcome::Done : Outcome::Wait;
    case Command::Kind::Sleep:
        return sleep(c.seconds);
    case Command::Kind::WaitFor: {
        bool found = false;
        for (; m_waitCursor < m_entries.size() && !found; ++m_waitCursor)
            found = matches(m_entries[m_waitCursor], c.condition);
        return waitFor(found, c.seconds,
                       {{"name", c.condition.name}, {"line", std::to_string(c.line)}});
    }
    case Command::Kind::ListenInfo:
        m_options.listenInfo = c.info;
        break;
    case Command::Kind::Silent:
    case Command::Kind::Talk:
        m_silent = c.kind == Command::Kind::Silent;
        record({m_silent ? "SILENT" : "TALK", {}}, {});
        break;
    case Command::Kind::DropConnection:
        return drop();
    case Command::Kind::Restart:
        return closeFor(c.seconds, "RESTART", "restart");
    }
    return Outcome::Done;
}

} // namespace capisim
