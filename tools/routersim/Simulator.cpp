#include "tools/routersim/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace routersim {

namespace {

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

Simulator::Simulator(const simcore::Options &options, std::vector<Command> scenario)
    : ScenarioServer("routersim", options, std::move(scenario), false)
{
    openListener();
    // A refusal at the start begins before anyone learns the port: no client slips in.
    if (!m_queue.empty() && m_queue.front().kind == Command::Kind::Refuse)
        step();
    announce();
}

void Simulator::event(const std::string &name, const simcore::Fields &fields)
{
    std::string text = name;
    for (const auto &[key, value] : fields)
        text += ' ' + key + '=' + value;
    writeTranscript(text);
}

std::unique_ptr<simcore::Connection> Simulator::accepted(int fd)
{
    // A client that stops reading must not stall the scenario for ever.
    const timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return std::make_unique<simcore::Connection>();
}

void Simulator::readFrom(simcore::Connection &c)
{
    // The call monitor is one-way: what a client sends is read and dropped.
    char buf[4096];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
        close(c, "peer");
}

void Simulator::send(const Command &command)
{
    std::string bytes = command.dated ? routerTime() + command.bytes : command.bytes;
    if (command.terminate)
        bytes += m_crlf ? "\r\n" : "\n";
    for (auto &c : m_connections) {
        if (c->fd < 0)
            continue;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(c->fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        if (done < bytes.size()) {
            close(*c, "send");
            continue;
        }
        writeTranscript("SENT conn=" + std::to_string(c->id) + " | " + printable(bytes));
    }
    note(printable(bytes));
}

Simulator::Outcome Simulator::perform(const Command &c)
{
    const bool connected = std::any_of(m_connections.begin(), m_connections.end(),
                                       [](const auto &cl) { return cl->fd >= 0; });
    switch (c.kind) {
    case Command::Kind::Send:
        // Lines wait for a client, as a router's call monitor has no one to tell.
        if (!connected)
            return Outcome::Wait;
        send(c);
        break;
    case Command::Kind::Endings:
        m_crlf = c.crlf;
        break;
    case Command::Kind::WaitClient:
        return waitFor(connected, c.seconds, {{"line", std::to_string(c.line)}});
    case Command::Kind::Sleep:
        return sleep(c.seconds);
    case Command::Kind::Refuse:
        // The commands after it wait for the port to open again.
        return closeFor(c.seconds, "REFUSE", "refuse");
    case Command::Kind::HangUp:
        // A peer that accepts and closes straight away, for as long as the command lasts;
        // the loop comes here right after each accept.
        for (auto &cl : m_connections)
            close(*cl, "hang-up");
        return sleep(c.seconds);
    case Command::Kind::Drop:
        return drop();
    case Command::Kind::Exit:
        return Outcome::Exit;
    }
    return Outcome::Done;
}

} // namespace routersim
