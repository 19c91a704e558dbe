#include "app/PhonebookSettings.h"

#include "settings/Profile.h"

#include <QDir>

PhonebookConfig readPhonebookSettings(const std::string &iniFile, const std::string &programDir)
{
    const auto get = [&](const std::string &key) {
        return IniGet(iniFile, "Telefonbuch", key, programDir);
    };
    PhonebookConfig config;
    const std::string home = QDir::homePath().toStdString();
    for (int i = 1; i <= 9; ++i) {
        const std::string path = get("vCard" + std::to_string(i));
        if (!path.empty())
            config.vcardPaths.push_back(PhonebookConfig::expandHome(path, home));
    }
    config.router = get("Router") == "1";
    config.areaCode = get("Ortsvorwahl");
    config.countryCode = get("Landesvorwahl");
    // "+49" and "0049" mean the country code too.
    while (!config.countryCode.empty() &&
           (config.countryCode.front() == '+' || config.countryCode.front() == '0'))
        config.countryCode.erase(0, 1);
    return config;
}
