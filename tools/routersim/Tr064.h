#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

/// The router's TR-064 side as pure rules: HTTP requests, the digest login (RFC 2617, MD5,
/// qop=auth) and the SOAP answers of the phonebook and VoIP services.
namespace routersim::tr064 {

/// How the simulated router misbehaves.
enum class Mode {
    Normal,
    WrongPassword, // every login is refused with 401, whatever the password
    BrokenXml,     // the phonebooks are served cut in the middle
    Hang,          // requests are read and never answered
    Error,         // every SOAP action fails with 500
};
std::optional<Mode> modeFromName(const std::string &name);

/// One phonebook the router holds: its name and the XML served for it, byte for byte.
struct Book
{
    std::string name;
    std::string xml;
};

/// What the TR-064 side serves, from routersim's command line.
struct Config
{
    std::string user = "admin";
    std::string password = "geheim";
    std::string realm = "HTTPS Access";
    std::string areaCode = "030";
    std::string countryCode = "49";
    std::vector<Book> books;
    Mode mode = Mode::Normal;
};

struct Request
{
    std::string method;
    std::string target;                         // path and query as sent
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

/// Takes one whole request off the front of buffer; nothing while it is incomplete.
/// Raises std::runtime_error for a request that cannot be HTTP.
std::optional<Request> takeRequest(std::string &buffer);

std::string md5Hex(const std::string &text);

/// The fields of an "Authorization: Digest …" header.
std::map<std::string, std::string> digestFields(const std::string &header);

/// The response value RFC 2617 asks for with qop=auth.
std::string digestResponse(const std::string &user, const std::string &realm,
                           const std::string &password, const std::string &method,
                           const std::string &uri, const std::string &nonce, const std::string &nc,
                           const std::string &cnonce);

/// The action after '#' of a SOAPACTION header, quotes dropped.
std::string soapAction(const std::string &header);

/// An HTTP/1.1 response with its length.
std::string response(int status, const std::string &reason, const std::string &contentType,
                     const std::string &body, const std::string &extraHeaders = {});

/// A SOAP response envelope with the action's out arguments.
std::string soapResponse(const std::string &serviceType, const std::string &action,
                         const std::vector<std::pair<std::string, std::string>> &out);
/// A UPnP error as a SOAP fault (status 500).
std::string soapFault(int upnpCode, const std::string &description);

/// Text escaped for XML character data.
std::string xmlEscaped(const std::string &text);

} // namespace routersim::tr064
