#pragma once

#include "phonebook/PhonebookEntry.h"

#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

/// Where the router is and as whom to ask it.
struct Tr064Target
{
    static constexpr std::uint16_t kDefaultPort = 49000;

    std::string host; // as written in [Anrufmonitor] Host
    std::uint16_t port = kDefaultPort;
    std::string user;
    std::string password;
};

/// Asks a router over TR-064: SOAP POSTs with the HTTP digest login (Qt Network's
/// authenticator), every phonebook that GetPhonebookList names, and the own area and country
/// code. Everything runs on the event loop of the thread that owns the client; a request that
/// makes no progress for the timeout fails.
class Tr064Client : public QObject
{
public:
    enum class Failure {
        None,
        Login,       // 401: user or password refused
        Http,        // another HTTP error, 500 with a SOAP fault among them
        Unreachable, // no connection (closed port, unknown host, connection dropped)
        Timeout,     // no progress for the timeout
        BadAnswer,   // an answer that cannot be read (not well-formed phonebook XML, …)
    };
    struct Outcome
    {
        Failure failure = Failure::None;
        std::string error; // German, for the notice: what failed, where
        bool ok() const { return failure == Failure::None; }
    };
    struct Books : Outcome
    {
        std::vector<PhonebookBook> books;
        int unnamed = 0; // contacts with numbers but no name, left out
    };
    struct Codes : Outcome
    {
        std::string areaCode;    // "030"
        std::string countryCode; // "49"
    };

    explicit Tr064Client(std::chrono::milliseconds timeout = std::chrono::seconds(10),
                         QObject *parent = nullptr);

    /// Fetches every phonebook the router lists, each at once from the URL GetPhonebook gives
    /// (its sid is short-lived). done runs once, on this thread, unless the client goes first.
    void fetchBooks(const Tr064Target &target, std::function<void(Books)> done);
    /// Asks the own area code and country code.
    void fetchCodes(const Tr064Target &target, std::function<void(Codes)> done);

    /// The leaf values of a SOAP answer by element name ("NewPhonebookURL" → "http://…").
    static std::map<std::string, std::string> soapValues(const QByteArray &body);
    /// The phonebook URL as given; some firmware escapes its '&' twice.
    static std::string unescapedUrl(std::string url);
    /// "030" from "30", "030" or "+49 30"; "49" from "0049" or "+49".
    static std::string areaCodeOf(const std::string &value);
    static std::string countryCodeOf(const std::string &value);

private:
    class Operation;
    std::chrono::milliseconds m_timeout;
};
