#include "app/SettingsFile.h"

#include "settings/Profile.h"

namespace SettingsFile {

namespace {

constexpr const char *kSetup = "Setup";

std::string flag(bool on)
{
    return on ? "1" : "0";
}

// The host as written: a CAPI line is a call monitor without a host.
std::string writtenHost(const SettingsValues &v)
{
    return v.callMonitor ? v.host : std::string();
}

} // namespace

SettingsValues read(const std::string &iniFile, const std::string &programDir, bool autostart)
{
    const auto get = [&](const char *section, const std::string &key) {
        return IniGet(iniFile, section, key, programDir);
    };
    SettingsValues v;
    v.host = get(CallMonitorSettings::kSection, CallMonitorSettings::kHostKey);
    v.port = get(CallMonitorSettings::kSection, CallMonitorSettings::kPortKey);
    v.callMonitor = !v.host.empty();
    for (std::size_t i = 0; i < v.vCards.size(); ++i)
        v.vCards[i] = get(kPhonebookSection, "vCard" + std::to_string(i + 1));
    v.router = get(kPhonebookSection, "Router") == "1";
    v.user = get(kPhonebookSection, "Benutzer");
    v.tr064Port = get(kPhonebookSection, "TR064Port");
    v.areaCode = get(kPhonebookSection, "Ortsvorwahl");
    v.countryCode = get(kPhonebookSection, "Landesvorwahl");
    for (std::size_t i = 0; i < v.msn.size(); ++i)
        v.msn[i] = get(kSetup, "MSN" + std::to_string(i + 1));
    v.notifications = get(kSetup, "Benachrichtigung") != "0";
    v.autostart = autostart;
    return v;
}

std::vector<ProfileText::Assignment> changes(const SettingsValues &before,
                                             const SettingsValues &after)
{
    std::vector<ProfileText::Assignment> out;
    const auto put = [&](const char *section, const std::string &key, const std::string &was,
                         const std::string &now) {
        if (was != now)
            out.push_back({section, key, now});
    };
    put(CallMonitorSettings::kSection, CallMonitorSettings::kHostKey, writtenHost(before),
        writtenHost(after));
    if (after.callMonitor)
        put(CallMonitorSettings::kSection, CallMonitorSettings::kPortKey, before.port, after.port);
    for (std::size_t i = 0; i < after.vCards.size(); ++i)
        put(kPhonebookSection, "vCard" + std::to_string(i + 1), before.vCards[i], after.vCards[i]);
    put(kPhonebookSection, "Router", flag(before.router), flag(after.router));
    put(kPhonebookSection, "Benutzer", before.user, after.user);
    put(kPhonebookSection, "TR064Port", before.tr064Port, after.tr064Port);
    put(kPhonebookSection, "Ortsvorwahl", before.areaCode, after.areaCode);
    put(kPhonebookSection, "Landesvorwahl", before.countryCode, after.countryCode);
    for (std::size_t i = 0; i < after.msn.size(); ++i)
        put(kSetup, "MSN" + std::to_string(i + 1), before.msn[i], after.msn[i]);
    put(kSetup, "Benachrichtigung", flag(before.notifications), flag(after.notifications));
    return out;
}

CallMonitorSettings lineOf(const SettingsValues &values)
{
    return CallMonitorSettings::fromValues(writtenHost(values), values.port);
}

bool phonebookChanged(const SettingsValues &before, const SettingsValues &after)
{
    return before.vCards != after.vCards || before.router != after.router ||
           before.user != after.user || before.tr064Port != after.tr064Port ||
           before.areaCode != after.areaCode || before.countryCode != after.countryCode;
}

} // namespace SettingsFile
