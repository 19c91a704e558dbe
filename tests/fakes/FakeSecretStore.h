#pragma once

#include "phonebook/SecretStore.h"

#include <QObject>
#include <QTimer>

#include <string>
#include <vector>

/// A Secret Service that answers every lookup with `answer`, later on the event loop as the
/// real one does, and records what it was asked.
class FakeSecretStore final : public QObject, public SecretStore
{
public:
    Lookup answer{Lookup::Status::Found, "geheim", {}};
    std::vector<std::string> lookups; // "host user"
    std::vector<std::string> stores;  // "host user password"

    void lookup(const std::string &host, const std::string &user,
                std::function<void(Lookup)> done) override
    {
        lookups.push_back(host + " " + user);
        QTimer::singleShot(0, this, [this, done = std::move(done)] { done(answer); });
    }
    void store(const std::string &host, const std::string &user, const std::string &password,
               std::function<void(std::string)> done) override
    {
        stores.push_back(host + " " + user + " " + password);
        QTimer::singleShot(0, this, [done = std::move(done)] { done({}); });
    }
};
