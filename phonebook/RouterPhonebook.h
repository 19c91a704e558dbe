#pragma once

#include "phonebook/OffThread.h"
#include "phonebook/PhonebookEntry.h"
#include "phonebook/RouterPhonebookCache.h"
#include "phonebook/Tr064Client.h"

#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class RefreshTimer;
class SecretStore;

/// The router's phonebooks as a source of names: fetched over TR-064 at start, every hour
/// and when the call monitor's line comes back; the last good copy is kept on disk and used
/// at start and whenever the router cannot be asked. Each kind of failure is told once.
class RouterPhonebook final : public QObject
{
public:
    struct Settings
    {
        std::string host; // [Anrufmonitor] Host, as written
        std::uint16_t port = Tr064Target::kDefaultPort;
        std::string user;      // [Telefonbuch] Benutzer
        bool askCodes = false; // [Telefonbuch] Ortsvorwahl is empty: the router tells it
        std::string cacheDir;  // the program's directory
    };
    static constexpr std::chrono::hours kRefreshInterval{1};

    using Notice = std::function<void(const std::string &)>;

    /// secrets and timer are used, not owned, and outlive this source. What it tells the
    /// user goes to say ("Router-Telefonbuch: …"), the program's notice() unless given.
    RouterPhonebook(Settings settings, SecretStore &secrets, RefreshTimer &timer,
                    std::chrono::milliseconds requestTimeout = std::chrono::seconds(10),
                    Notice say = nullptr);

    /// Gets every good set of books: first the disk copy, then each fresh fetch.
    void setBooksHandler(std::function<void(const std::vector<PhonebookBook> &)> handler);
    /// Gets the own area and country code when the settings ask for them.
    void setCodesHandler(std::function<void(std::string area, std::string country)> handler);

    /// Reads the disk copy (off this thread) and hands it out, then asks the router; starts
    /// the hourly refresh.
    void start();
    /// The call monitor's line is up again: asks the router, unless it refused the login.
    void lineUp();
    /// New settings: a refused login is forgotten and the router asked at once.
    void setSettings(Settings settings);
    /// "Jetzt abrufen": asks the router whatever happened before; done gets the number of
    /// entries fetched, or 0 and the error.
    void fetchNow(std::function<void(int entries, std::string error)> done);

    /// The books of the disk copy in dir, for `--lookup`; none when there is no copy.
    static std::vector<PhonebookBook> loadCache(const std::string &dir);

private:
    using Done = std::function<void(int, std::string)>;

    void fetch(Done done);
    void fetchWith(const std::string &password);
    void booksFetched(Tr064Client::Books books);
    void finish(int entries, const std::string &error);
    /// A notice of text and addition, unless the same text was the last told (whether a
    /// disk copy stands in can change between two tellings of one failure).
    void tell(const std::string &text, const std::string &addition = {});
    void cacheLoaded(RouterPhonebookCache::Contents contents);
    void save();

    Settings m_settings;
    SecretStore &m_secrets;
    RefreshTimer &m_timer;
    Tr064Client m_client;
    Notice m_say;
    OffThread m_offThread{this};
    std::function<void(const std::vector<PhonebookBook> &)> m_booksHandler;
    std::function<void(std::string, std::string)> m_codesHandler;

    RouterPhonebookCache::Contents m_last; // the last good books and codes
    bool m_fetchedOnce = false;            // the disk copy is older than what we hold
    std::optional<std::string> m_password; // from the keyring, until the router refuses it
    bool m_loginRefused = false;
    bool m_noSecretService = false;
    bool m_busy = false;
    unsigned m_generation = 0; // settings changes; answers for older settings are dropped
    std::vector<Done> m_waiting;
    std::string m_lastTold;
};
