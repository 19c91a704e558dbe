#pragma once

#include "phonebook/LibsecretStore.h"
#include "phonebook/QtRefreshTimer.h"
#include "phonebook/RouterPhonebook.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// The router's phonebooks as the settings file asks for them, with the real Secret
/// Service and timer. The program makes one at start when the settings name the router as
/// a source, hands its books and codes to the phonebook, and tells it when the call
/// monitor's line is up again (source().lineUp()).
class RouterPhonebookSetup
{
public:
    static constexpr const char *kSection = "Telefonbuch";

    /// From `[Telefonbuch]` (Router=1, Benutzer, TR064Port, Ortsvorwahl) and
    /// `[Anrufmonitor] Host`; nothing unless Router is 1 and the host is set. A TR064Port
    /// that is missing or no port is 49000; an empty Ortsvorwahl asks the router for it.
    static std::optional<RouterPhonebook::Settings> settings(const std::string &iniFile,
                                                             const std::string &programDir);

    /// Started at once; books and codes get what the source hands out.
    static std::unique_ptr<RouterPhonebookSetup>
    create(const std::string &iniFile, const std::string &programDir,
           std::function<void(const std::vector<PhonebookBook> &)> books,
           std::function<void(std::string area, std::string country)> codes);

    explicit RouterPhonebookSetup(RouterPhonebook::Settings settings);
    RouterPhonebook &source() { return m_source; }
    SecretStore &secrets() { return m_secrets; }

private:
    LibsecretStore m_secrets;
    QtRefreshTimer m_timer;
    RouterPhonebook m_source;
};
