#pragma once

#include <chrono>
#include <cstdio>
#include <deque>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

/// The skeleton both simulators share: a listening socket on 127.0.0.1, one poll loop over
/// it and the accepted connections, a transcript and the timing of a scenario's commands.
namespace simcore {

std::runtime_error systemError(const std::string &what);

/// Local time of day with milliseconds: "14:05:09.123".
std::string timeOfDay();

using Fields = std::vector<std::pair<std::string, std::string>>;

/// What every simulator's command line sets.
struct Options
{
    int port = 0; // 0: any free port
    std::string portFile;
    std::string transcriptFile; // empty: stdout
    bool exitAtEnd = false;
};

/// An accepted connection; a simulator keeps its own state for it in a derived type.
struct Connection
{
    virtual ~Connection() = default;
    int fd = -1;
    int id = 0;
};

class Server
{
public:
    virtual ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    /// Runs until the scenario exits or stop is asked for; returns the exit status.
    int run(const volatile bool &stop);

protected:
    using Clock = std::chrono::steady_clock;

    /// What became of the scenario command at the front of the queue.
    enum class Outcome {
        Done,        // on to the next command
        Wait,        // runs again at the next turn of the loop
        DoneAndWait, // done, and the next one waits for the next turn
        Exit,        // the run is over
    };

    /// Opens the transcript (appending or not). The derived server opens the listener, as
    /// that calls back into it.
    Server(const char *name, const Options &options, bool appendTranscript, int backlog = 16);
    /// Writes the port file, whole or not at all, and tells the port on stderr.
    void announce();

    void openListener();
    void closeListener();
    int port() const { return m_port; }
    /// Closes every connection and the port for a while; the scenario waits meanwhile.
    Outcome closeFor(double seconds, const char *event, const char *why);
    Outcome drop();
    void close(Connection &c, const char *why);
    void closeAll(const char *why);
    /// Writes one transcript line behind the time of day; returns the whole line.
    std::string writeTranscript(const std::string &text);
    /// A line on stderr behind the program's name.
    void note(const std::string &text) const;
    static Clock::time_point after(double seconds);

    /// Waits until the time since the command's start is that long.
    Outcome sleep(double seconds);
    /// Waits while `met` is false and the timeout (negative: none) has not run out; a timeout
    /// is recorded as WAIT_TIMEOUT with the given fields.
    Outcome waitFor(bool met, double timeout, Fields timeoutFields);
    /// The command at the front is done; the next one starts afresh.
    void commandDone();

    /// Runs scenario commands until one has to wait; false once the run is over.
    virtual bool step() = 0;
    /// Records an event of the server's own (LISTENING, OPEN, CLOSE, ...).
    virtual void event(const std::string &name, const Fields &fields) = 0;
    virtual std::unique_ptr<Connection> accepted(int fd);
    virtual void readFrom(Connection &c) = 0;
    /// Reads standard input while m_inputOpen is set.
    virtual void readInput() {}
    virtual void listenerOpened() {}
    virtual void listenerClosed() {}

    std::vector<std::unique_ptr<Connection>> m_connections;
    bool m_acceptConnections = true;
    bool m_inputOpen = false;
    bool m_exit = false;

private:
    void accept();
    /// Closes every connection, recorded with why=exit, and the listener.
    void shutDown();

    const char *m_name;
    Options m_options;
    int m_backlog;
    int m_listenFd = -1;
    int m_port = 0;
    int m_nextConnectionId = 1;
    std::FILE *m_transcript = nullptr;
    std::optional<Clock::time_point> m_reopenAt;
    std::optional<Clock::time_point> m_sleepUntil;
    std::optional<Clock::time_point> m_waitDeadline;
    bool m_commandStarted = false;
};

/// A server playing a scenario: its commands wait in a queue and run one after the other.
template<class Command> class ScenarioServer : public Server
{
protected:
    ScenarioServer(const char *name, const Options &options, std::vector<Command> scenario,
                   bool appendTranscript, int backlog = 16)
        : Server(name, options, appendTranscript, backlog),
          m_queue(std::make_move_iterator(scenario.begin()),
                  std::make_move_iterator(scenario.end())),
          m_exitAtEnd(options.exitAtEnd)
    {}

    virtual Outcome perform(const Command &command) = 0;

    bool step() override
    {
        while (!m_queue.empty()) {
            const Outcome outcome = perform(m_queue.front());
            if (outcome == Outcome::Wait)
                return true;
            if (outcome == Outcome::Exit) {
                m_exit = true;
                return false;
            }
            m_queue.pop_front();
            commandDone();
            if (outcome == Outcome::DoneAndWait)
                return true;
        }
        return !(m_exitAtEnd && !m_inputOpen);
    }

    std::deque<Command> m_queue;

private:
    bool m_exitAtEnd;
};

} // namespace simcore
