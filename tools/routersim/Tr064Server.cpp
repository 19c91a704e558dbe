#include "tools/routersim/Tr064Server.h"

#include "tools/simcore/Main.h"
#include "tools/simcore/ScenarioText.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>

namespace routersim {

using namespace tr064;

namespace {

const char kOnTel[] = "urn:dslforum-org:service:X_AVM-DE_OnTel:1";
const char kVoip[] = "urn:dslforum-org:service:X_VoIP:1";
// How long a sid from GetPhonebook opens the phonebook URL.
constexpr std::chrono::seconds kSidLifetime{60};

std::string queryValue(const std::string &target, const std::string &key)
{
    const auto q = target.find('?');
    if (q == std::string::npos)
        return {};
    std::istringstream in(target.substr(q + 1));
    for (std::string pair; std::getline(in, pair, '&');) {
        if (pair.rfind(key + "=", 0) == 0)
            return pair.substr(key.size() + 1);
    }
    return {};
}

/// The text of the first <name> element in a SOAP body.
std::string argument(const std::string &body, const std::string &name)
{
    const auto open = body.find("<" + name + ">");
    if (open == std::string::npos)
        return {};
    const auto start = open + name.size() + 2;
    const auto close = body.find("</" + name + ">", start);
    return close == std::string::npos ? std::string() : body.substr(start, close - start);
}

std::string readWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The name attribute of the file's first <phonebook>, else the file's stem.
std::string bookName(const std::string &xml, const std::string &path)
{
    const auto at = xml.find("<phonebook ");
    const auto name = at == std::string::npos ? at : xml.find("name=\"", at);
    if (name != std::string::npos && name < xml.find('>', at)) {
        const auto end = xml.find('"', name + 6);
        return xml.substr(name + 6, end - name - 6);
    }
    auto stem = path.substr(path.find_last_of('/') + 1);
    return stem.substr(0, stem.find('.'));
}

} // namespace

struct Tr064Server::HttpConnection : simcore::Connection
{
    std::string in;
};

Tr064Server::Tr064Server(const simcore::Options &options, Config config)
    : Server("routersim", options, false), m_config(std::move(config))
{
    openListener();
    announce();
}

void Tr064Server::event(const std::string &name, const simcore::Fields &fields)
{
    std::string text = name;
    for (const auto &[key, value] : fields)
        text += ' ' + key + '=' + value;
    writeTranscript(text);
}

std::unique_ptr<simcore::Connection> Tr064Server::accepted(int fd)
{
    const timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return std::make_unique<HttpConnection>();
}

std::string Tr064Server::fresh()
{
    const auto t = std::chrono::steady_clock::now().time_since_epoch().count();
    return md5Hex(std::to_string(t) + "/" + std::to_string(++m_counter)).substr(0, 16);
}

void Tr064Server::readFrom(simcore::Connection &base)
{
    auto &c = static_cast<HttpConnection &>(base);
    char buf[8192];
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        close(c, "peer");
        return;
    }
    if (n < 0)
        return;
    c.in.append(buf, static_cast<std::size_t>(n));
    try {
        while (auto request = takeRequest(c.in)) {
            const std::string out = answer(*request, c.id);
            if (out.empty())
                continue;
            std::size_t done = 0;
            while (done < out.size()) {
                const ssize_t sent =
                    ::send(c.fd, out.data() + done, out.size() - done, MSG_NOSIGNAL);
                if (sent < 0 && errno == EINTR)
                    continue;
                if (sent <= 0)
                    break;
                done += static_cast<std::size_t>(sent);
            }
            if (done < out.size()) {
                close(c, "send");
                return;
            }
        }
    } catch (const std::exception &e) {
        event("BAD_REQUEST", {{"conn", std::to_string(c.id)}, {"why", e.what()}});
        close(c, "bad-request");
    }
}

bool Tr064Server::loggedIn(const Request &r) const
{
    const auto it = r.headers.find("authorization");
    if (it == r.headers.end() || m_config.mode == Mode::WrongPassword)
        return false;
    const auto f = digestFields(it->second);
    const auto field = [&](const char *k) {
        const auto v = f.find(k);
        return v == f.end() ? std::string() : v->second;
    };
    if (field("username") != m_config.user || field("realm") != m_config.realm ||
        !m_nonces.count(field("nonce")) || field("qop") != "auth" || field("uri") != r.target)
        return false;
    return field("response") == digestResponse(m_config.user, m_config.realm, m_config.password,
                                               r.method, field("uri"), field("nonce"), field("nc"),
                                               field("cnonce"));
}

std::string Tr064Server::answer(const Request &r, int conn)
{
    const std::string path = r.target.substr(0, r.target.find('?'));
    simcore::Fields fields{{"conn", std::to_string(conn)}, {"method", r.method}, {"path", path}};
    const auto done = [&](int status, std::string out) {
        fields.emplace_back("status", std::to_string(status));
        event("HTTP", fields);
        return out;
    };
    if (m_config.mode == Mode::Hang) {
        fields.emplace_back("status", "none");
        event("HTTP", fields);
        return {};
    }
    if (r.method == "GET" && path == "/phonebook.lua") {
        const auto sid = m_sids.find(queryValue(r.target, "sid"));
        const auto now = std::chrono::steady_clock::now();
        if (sid == m_sids.end() || now - sid->second > kSidLifetime)
            return done(403, response(403, "Forbidden", "text/plain", "sid\n"));
        const auto id = simcore::toNumber(queryValue(r.target, "pbid"), 1000);
        if (!id || *id >= m_config.books.size())
            return done(404, response(404, "Not Found", "text/plain", "pbid\n"));
        fields.emplace_back("pbid", std::to_string(*id));
        std::string xml = m_config.books[*id].xml;
        if (m_config.mode == Mode::BrokenXml)
            xml.resize(xml.size() / 2);
        return done(200, response(200, "OK", "text/xml", xml));
    }
    if (r.method != "POST" || (path != "/upnp/control/x_contact" && path != "/upnp/control/x_voip"))
        return done(404, response(404, "Not Found", "text/plain", "\n"));
    const auto soapHeader = r.headers.find("soapaction");
    const std::string action = soapHeader == r.headers.end() ? "" : soapAction(soapHeader->second);
    fields.emplace_back("action", action);
    if (!loggedIn(r)) {
        const std::string nonce = fresh();
        m_nonces.insert(nonce);
        return done(401,
                    response(401, "Unauthorized", "text/html", "<html>401</html>\n",
                             "WWW-Authenticate: Digest realm=\"" + m_config.realm + "\", nonce=\"" +
                                 nonce + "\", algorithm=MD5, qop=\"auth\"\r\n"));
    }
    if (m_config.mode == Mode::Error)
        return done(500, response(500, "Internal Server Error", "text/xml; charset=\"utf-8\"",
                                  soapFault(501, "Action Failed")));
    std::string body = soap(r, action, conn);
    if (body.empty())
        return done(500, response(500, "Internal Server Error", "text/xml; charset=\"utf-8\"",
                                  soapFault(401, "Invalid Action")));
    return done(200, response(200, "OK", "text/xml; charset=\"utf-8\"", body));
}

std::string Tr064Server::soap(const Request &r, const std::string &action, int)
{
    const std::string path = r.target.substr(0, r.target.find('?'));
    if (path == "/upnp/control/x_contact") {
        if (action == "GetPhonebookList") {
            std::string list;
            for (std::size_t i = 0; i < m_config.books.size(); ++i)
                list += (i ? "," : "") + std::to_string(i);
            return soapResponse(kOnTel, action, {{"NewPhonebookList", list}});
        }
        if (action == "GetPhonebook") {
            const auto id = simcore::toNumber(argument(r.body, "NewPhonebookID"), 1000);
            if (!id || *id >= m_config.books.size())
                return {};
            const std::string sid = fresh();
            m_sids[sid] = std::chrono::steady_clock::now();
            const std::string url = "http://127.0.0.1:" + std::to_string(port()) +
                                    "/phonebook.lua?sid=" + sid + "&pbid=" + std::to_string(*id);
            return soapResponse(kOnTel, action,
                                {{"NewPhonebookName", m_config.books[*id].name},
                                 {"NewPhonebookExtraID", std::string()},
                                 {"NewPhonebookURL", url}});
        }
        return {};
    }
    if (action == "GetVoIPCommonAreaCode")
        return soapResponse(kVoip, action, {{"NewVoIPAreaCode", m_config.areaCode}});
    if (action == "GetVoIPCommonCountryCode")
        return soapResponse(kVoip, action, {{"NewVoIPCountryCode", m_config.countryCode}});
    return {};
}

bool Tr064Side::option(const std::string &option, const std::function<const char *()> &value)
{
    if (option == "--tr064-port") {
        m_options.port = static_cast<int>(simcore::number(value(), 65535));
        m_wanted = true;
    } else if (option == "--tr064-port-file") {
        m_options.portFile = value();
        m_wanted = true;
    } else if (option == "--user") {
        m_config.user = value();
    } else if (option == "--password") {
        m_config.password = value();
    } else if (option == "--phonebook") {
        const std::string path = value();
        std::string xml = readWhole(path);
        m_config.books.push_back({bookName(xml, path), std::move(xml)});
    } else if (option == "--area-code") {
        m_config.areaCode = value();
    } else if (option == "--country-code") {
        m_config.countryCode = value();
    } else if (option == "--tr064-mode") {
        const std::string name = value();
        const auto mode = modeFromName(name);
        if (!mode)
            throw std::invalid_argument("unknown TR-064 mode " + name);
        m_config.mode = *mode;
    } else {
        return false;
    }
    return true;
}

void Tr064Side::start(const simcore::Options &common)
{
    if (!m_wanted)
        return;
    if (!common.transcriptFile.empty())
        m_options.transcriptFile = common.transcriptFile + "-tr064";
    m_server = std::make_unique<Tr064Server>(m_options, m_config);
    m_thread = std::thread([this] { m_server->run(m_stop); });
}

Tr064Side::~Tr064Side()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace routersim
