#include "tools/routersim/Tr064.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace routersim::tr064 {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string trimmed(const std::string &s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Requests beyond this are garbage, not a router's client.
constexpr std::size_t kMaxRequest = 1 << 20;

} // namespace

std::optional<Mode> modeFromName(const std::string &name)
{
    if (name == "normal")
        return Mode::Normal;
    if (name == "wrong-password")
        return Mode::WrongPassword;
    if (name == "broken-xml")
        return Mode::BrokenXml;
    if (name == "hang")
        return Mode::Hang;
    if (name == "error")
        return Mode::Error;
    return std::nullopt;
}

std::optional<Request> takeRequest(std::string &buffer)
{
    const auto headEnd = buffer.find("\r\n\r\n");
    if (headEnd == std::string::npos) {
        if (buffer.size() > kMaxRequest)
            throw std::runtime_error("request head too long");
        return std::nullopt;
    }
    Request r;
    std::size_t lineEnd = buffer.find("\r\n");
    const std::string requestLine = buffer.substr(0, lineEnd);
    const auto sp1 = requestLine.find(' ');
    const auto sp2 = requestLine.find(' ', sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos)
        throw std::runtime_error("bad request line");
    r.method = requestLine.substr(0, sp1);
    r.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    while (lineEnd < headEnd) {
        const std::size_t next = buffer.find("\r\n", lineEnd + 2);
        const std::string line = buffer.substr(lineEnd + 2, next - lineEnd - 2);
        lineEnd = next;
        const auto colon = line.find(':');
        if (colon != std::string::npos)
            r.headers[lower(trimmed(line.substr(0, colon)))] = trimmed(line.substr(colon + 1));
    }
    std::size_t length = 0;
    if (const auto it = r.headers.find("content-length"); it != r.headers.end())
        length = std::stoul(it->second);
    if (length > kMaxRequest)
        throw std::runtime_error("request body too long");
    const std::size_t bodyStart = headEnd + 4;
    if (buffer.size() < bodyStart + length)
        return std::nullopt;
    r.body = buffer.substr(bodyStart, length);
    buffer.erase(0, bodyStart + length);
    return r;
}

std::string md5Hex(const std::string &text)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

std::map<std::string, std::string> digestFields(const std::string &header)
{
    std::map<std::string, std::string> out;
    if (lower(header.substr(0, 7)) != "digest ")
        return out;
    std::size_t i = 7;
    while (i < header.size()) {
        while (i < header.size() && (header[i] == ' ' || header[i] == ','))
            ++i;
        const auto eq = header.find('=', i);
        if (eq == std::string::npos)
            break;
        const std::string key = lower(trimmed(header.substr(i, eq - i)));
        std::string value;
        i = eq + 1;
        if (i < header.size() && header[i] == '"') {
            const auto close = header.find('"', i + 1);
            value = header.substr(i + 1, close - i - 1);
            i = close == std::string::npos ? header.size() : close + 1;
        } else {
            const auto comma = header.find(',', i);
            value = trimmed(header.substr(i, comma - i));
            i = comma == std::string::npos ? header.size() : comma;
        }
        out[key] = value;
    }
    return out;
}

std::string digestResponse(const std::string &user, const std::string &realm,
                           const std::string &password, const std::string &method,
                           const std::string &uri, const std::string &nonce, const std::string &nc,
                           const std::string &cnonce)
{
    const std::string ha1 = md5Hex(user + ":" + realm + ":" + password);
    const std::string ha2 = md5Hex(method + ":" + uri);
    return md5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2);
}

std::string soapAction(const std::string &header)
{
    std::string a = header;
    a.erase(std::remove(a.begin(), a.end(), '"'), a.end());
    const auto hash = a.find('#');
    return hash == std::string::npos ? a : a.substr(hash + 1);
}

std::string response(int status, const std::string &reason, const std::string &contentType,
                     const std::string &body, const std::string &extraHeaders)
{
    std::string r = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    if (!contentType.empty())
        r += "Content-Type: " + contentType + "\r\n";
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n";
    return r + body;
}

std::string xmlEscaped(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

const char kEnvelopeHead[] =
    "<?xml version=\"1.0\"?>\n"
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\n<s:Body>\n";
const char kEnvelopeTail[] = "</s:Body>\n</s:Envelope>\n";

} // namespace

std::string soapResponse(const std::string &serviceType, const std::string &action,
                         const std::vector<std::pair<std::string, std::string>> &out)
{
    std::string body = kEnvelopeHead;
    body += "<u:" + action + "Response xmlns:u=\"" + serviceType + "\">\n";
    for (const auto &[name, value] : out)
        body += "<" + name + ">" + xmlEscaped(value) + "</" + name + ">\n";
    body += "</u:" + action + "Response>\n";
    return body + kEnvelopeTail;
}

std::string soapFault(int upnpCode, const std::string &description)
{
    return std::string(kEnvelopeHead) +
           "<s:Fault>\n<faultcode>s:Client</faultcode>\n<faultstring>UPnPError</faultstring>\n"
           "<detail>\n<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">\n<errorCode>" +
           std::to_string(upnpCode) + "</errorCode>\n<errorDescription>" + xmlEscaped(description) +
           "</errorDescription>\n</UPnPError>\n</detail>\n</s:Fault>\n" + kEnvelopeTail;
}

} // namespace routersim::tr064
