#pragma once

#include "phonebook/OffThread.h"
#include "phonebook/SecretStore.h"

#include <QObject>

/// SecretStore through libsecret. Its calls block on D-Bus, so each runs off the caller's
/// thread. The search does not match the schema name: an item that secret-tool stored with
/// the three attributes is found.
class LibsecretStore final : public QObject, public SecretStore
{
public:
    static constexpr const char *kLabel = "Klingelwacht Router";

    LibsecretStore();
    void lookup(const std::string &host, const std::string &user,
                std::function<void(Lookup)> done) override;
    void store(const std::string &host, const std::string &user, const std::string &password,
               std::function<void(std::string)> done) override;

private:
    OffThread m_offThread{this};
};
