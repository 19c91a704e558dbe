#pragma once

#include "tools/routersim/Tr064.h"
#include "tools/simcore/Server.h"

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

namespace routersim {

/// The router's TR-064 side on 127.0.0.1 (a port of its own, plain HTTP like port 49000):
/// SOAP at /upnp/control/x_contact and /upnp/control/x_voip behind the digest login, and the
/// phonebooks at /phonebook.lua?sid=…&pbid=N for a sid that GetPhonebook handed out.
class Tr064Server final : public simcore::Server
{
public:
    Tr064Server(const simcore::Options &options, tr064::Config config);

private:
    struct HttpConnection;

    bool step() override { return true; }
    void event(const std::string &name, const simcore::Fields &fields) override;
    std::unique_ptr<simcore::Connection> accepted(int fd) override;
    void readFrom(simcore::Connection &c) override;

    /// The answer to one request; empty for none (hang mode).
    std::string answer(const tr064::Request &r, int conn);
    std::string soap(const tr064::Request &r, const std::string &action, int conn);
    bool loggedIn(const tr064::Request &r) const;
    std::string fresh();

    tr064::Config m_config;
    std::set<std::string> m_nonces;
    std::map<std::string, std::chrono::steady_clock::time_point> m_sids;
    unsigned m_counter = 0;
};

/// routersim's TR-064 options and the thread that serves them beside the call monitor.
class Tr064Side
{
public:
    Tr064Side() = default;
    ~Tr064Side();
    Tr064Side(const Tr064Side &) = delete;
    Tr064Side &operator=(const Tr064Side &) = delete;

    /// Takes one of the TR-064 options; false for none of them.
    bool option(const std::string &option, const std::function<const char *()> &value);
    /// Starts serving when a TR-064 option asked for it, the transcript lines going to the
    /// given transcript file with "-tr064" added (or stdout).
    void start(const simcore::Options &common);

private:
    bool m_wanted = false;
    simcore::Options m_options;
    tr064::Config m_config;
    volatile bool m_stop = false;
    std::unique_ptr<Tr064Server> m_server;
    std::thread m_thread;
};

} // namespace routersim
