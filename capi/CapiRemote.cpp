#include "capi/CapiRemote.h"

#include "base/UniqueFd.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace CapiRemote {

namespace {

// The library reads with fgets into a buffer of 1024 bytes.
constexpr std::size_t kLineChars = 1023;

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view skipBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

/// Splits off the next word; s keeps what follows it.
std::string_view nextWord(std::string_view &s)
{
    s = skipBlanks(s);
    std::size_t n = 0;
    while (n < s.size() && !isBlank(s[n]))
        ++n;
    const std::string_view word = s.substr(0, n);
    s.remove_prefix(n);
    return word;
}

std::uint16_t portOf(std::string_view word)
{
    // strtol as the library uses it: leading digits count, the rest is ignored, the
    // value is cut to 16 bits, and 0 means the default.
    const std::string text(word);
    const long value = std::strtol(text.c_str(), nullptr, 10);
    const auto port = static_cast<std::uint16_t>(value);
    return port ? port : kDefaultPort;
}

struct AddrInfoFree
{
    void operator()(addrinfo *a) const { freeaddrinfo(a); }
};

/// "" when connected within the time, else why not.
std::string connectWithin(const addrinfo &a, std::chrono::steady_clock::time_point deadline)
{
    const UniqueFd fd(
        socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol));
    if (fd.get() < 0)
        return std::strerror(errno);
    if (connect(fd.get(), a.ai_addr, a.ai_addrlen) == 0)
        return {};
    if (errno != EINPROGRESS)
        return std::strerror(errno);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return "keine Antwort";
        pollfd p = {fd.get(), POLLOUT, 0};
        const int n = poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::strerror(errno);
        if (n == 0)
            return "keine Antwort";
        int error = 0;
        socklen_t len = sizeof error;
        if (getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0)
            return std::strerror(errno);
        return error == 0 ? std::string() : std::string(std::strerror(error));
    }
}

} // namespace

std::optional<Remote> parseConfig(std::string_view text)
{
    std::optional<Remote> found;
    while (!text.empty()) {
        // One fgets: up to and including a newline, at most kLineChars characters.
        std::size_t n = std::min(text.size(), kLineChars);
        if (const auto nl = text.substr(0, n).find('\n'); nl != std::string_view::npos)
            n = nl + 1;
        std::string_view line = text.substr(0, n - 1);
        text.remove_prefix(n);
        // A NUL ends the line for the library's string functions.
        line = line.substr(0, line.find('\0'));
        line = skipBlanks(line);
        if (line.empty() || line.front() == '#' || line.substr(0, 6) != "REMOTE")
            continue;
        nextWord(line);
        Remote r;
        r.driver = nextWord(line);
        r.host = nextWord(line);
        r.port = portOf(nextWord(line));
        found = r;
    }
    return found;
}

std::optional<Remote> readConfig(const char *home, const std::string &globalFile)
{
    std::ifstream in;
    if (home)
        in.open(std::string(home) + "/.capi20rc", std::ios::binary);
    if (!in.is_open())
        in.open(globalFile, std::ios::binary);
    if (!in.is_open())
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return parseConfig(text.str());
}

ProbeResult probe(const Remote &remote, std::chrono::milliseconds timeout)
{
    const std::string where = remote.host + ":" + std::to_string(remote.port);
    if (remote.host.empty())
        return {false, {}, "REMOTE ohne Rechnername"};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    const std::string port = std::to_string(remote.port);
    const int rc = getaddrinfo(remote.host.c_str(), port.c_str(), &hints, &list);
    if (rc != 0)
        return {false, {}, where + ": " + gai_strerror(rc)};
    const std::unique_ptr<addrinfo, AddrInfoFree> owner(list);
    std::string reason = "keine Adresse";
    for (const addrinfo *a = list; a; a = a->ai_next) {
        reason = connectWithin(*a, deadline);
        if (reason.empty()) {
            ProbeResult ok{true, {}, {}};
            char text[NI_MAXHOST] = {};
            if (a->ai_family == AF_INET && getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text,
                                                       nullptr, 0, NI_NUMERICHOST) == 0)
                ok.ipv4Address = text;
            return ok;
        }
    }
    return {false, {}, where + ": " + reason};
}

} // namespace CapiRemote
