#include "phonebook/LibsecretStore.h"

// glib's headers name a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace {

const SecretSchema *schema()
{
    static const SecretSchema s = {"de.klingelwacht.Router",
                                   SECRET_SCHEMA_DONT_MATCH_NAME,
                                   {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                   0,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr};
    return &s;
}

SecretStore::Lookup lookupNow(const std::string &host, const std::string &user)
{
    SecretStore::Lookup out;
    GError *error = nullptr;
    gchar *password =
        secret_password_lookup_sync(schema(), nullptr, &error, "application", "klingelwacht",
                                    "host", host.c_str(), "user", user.c_str(), nullptr);
    if (error) {
        out.status = SecretStore::Lookup::Status::NoService;
        out.error = error->message;
        g_error_free(error);
    } else if (password) {
        out.status = SecretStore::Lookup::Status::Found;
        out.password = password;
    }
    if (password)
        secret_password_free(password);
    return out;
}

std::string storeNow(const std::string &host, const std::string &user, const std::string &password)
{
    GError *error = nullptr;
    secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, LibsecretStore::kLabel,
                               password.c_str(), nullptr, &error, "application", "klingelwacht",
                               "host", host.c_str(), "user", user.c_str(), nullptr);
    if (!error)
        return {};
    std::string text = error->message;
    g_error_free(error);
    return text;
}

} // namespace

LibsecretStore::LibsecretStore() = default;

void LibsecretStore::lookup(const std::string &host, const std::string &user,
                            std::function<void(Lookup)> done)
{
    m_offThread.run<Lookup>([host, user] { return lookupNow(host, user); }, std::move(done));
}

void LibsecretStore::store(const std::string &host, const std::string &user,
                           const std::string &password, std::function<void(std::string)> done)
{
    m_offThread.run<std::string>([host, user, password] { return storeNow(host, user, password); },
                                 std::move(done));
}
