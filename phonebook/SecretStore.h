#pragma once

#include <functional>
#include <string>

/// The router password in the desktop's Secret Service, found by the attributes
/// application=klingelwacht, host=<host as written>, user=<user>.
class SecretStore
{
public:
    struct Lookup
    {
        enum class Status {
            Found,
            NotFound,  // the service answered: no such item
            NoService, // no Secret Service reachable
        };
        Status status = Status::NotFound;
        std::string password;
        std::string error; // NoService: what the library said
    };

    virtual ~SecretStore() = default;
    /// Looks the password up without blocking the caller; done runs later on the caller's
    /// thread, never inside lookup().
    virtual void lookup(const std::string &host, const std::string &user,
                        std::function<void(Lookup)> done) = 0;
    /// Stores the password in the default collection; done gets an error text, empty when
    /// stored. Runs like lookup().
    virtual void store(const std::string &host, const std::string &user,
                       const std::string &password, std::function<void(std::string)> done) = 0;
};
