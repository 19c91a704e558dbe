#include "app/RouterPhonebookSetup.h"

#include "callmonitor/CallMonitorSettings.h"
#include "settings/Profile.h"

namespace {

/// 1 to 65535 in decimal digits, else the fallback.
std::uint16_t portOr(const std::string &text, std::uint16_t fallback)
{
    unsigned long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > 65535)
            return fallback;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return value >= 1 && value <= 65535 ? static_cast<std::uint16_t>(value) : fallback;
}

} // namespace

std::optional<RouterPhonebook::Settings>
RouterPhonebookSetup::settings(const std::string &iniFile, const std::string &programDir)
{
    const auto get = [&](const char *section, const char *key) {
        return IniGet(iniFile, section, key, programDir);
    };
    const auto monitor = CallMonitorSettings::fromValues(
        get(CallMonitorSettings::kSection, CallMonitorSettings::kHostKey), "");
    if (get(kSection, "Router") != "1" || !monitor.isSet())
        return std::nullopt;
    RouterPhonebook::Settings s;
    s.host = monitor.host;
    s.port = portOr(get(kSection, "TR064Port"), Tr064Target::kDefaultPort);
    s.user = get(kSection, "Benutzer");
    s.askCodes = get(kSection, "Ortsvorwahl").empty();
    s.cacheDir = programDir;
    return s;
}

std::unique_ptr<RouterPhonebookSetup>
RouterPhonebookSetup::create(const std::string &iniFile, const std::string &programDir,
                             std::function<void(const std::vector<PhonebookBook> &)> books,
                             std::function<void(std::string, std::string)> codes)
{
    auto s = settings(iniFile, programDir);
    if (!s)
        return nullptr;
    auto setup = std::make_unique<RouterPhonebookSetup>(std::move(*s));
    setup->source().setBooksHandler(std::move(books));
    setup->source().setCodesHandler(std::move(codes));
    setup->source().start();
    return setup;
}

RouterPhonebookSetup::RouterPhonebookSetup(RouterPhonebook::Settings settings)
    : m_source(std::move(settings), m_secrets, m_timer)
{}
