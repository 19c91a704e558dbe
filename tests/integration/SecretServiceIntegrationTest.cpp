// The libsecret adapter against a real gnome-keyring on a private session bus, and against a
// bus without any Secret Service. Each test runs in a process of its own under ctest: GIO keeps
// the first session bus it connects to for the life of the process.
#include "phonebook/LibsecretStore.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TempDir.h"
#include "tests/support/Watchdog.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

template<class T> T waitFor(std::optional<T> &value)
{
    QElapsedTimer t;
    t.start();
    while (!value && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(value.has_value());
    return value.value_or(T{});
}

SecretStore::Lookup lookup(LibsecretStore &store, const std::string &host, const std::string &user)
{
    std::optional<SecretStore::Lookup> answer;
    store.lookup(host, user, [&](SecretStore::Lookup l) { answer = std::move(l); });
    return waitFor(answer);
}

/// gnome-keyring's Secret Service with an unlocked login keyring in a private home.
class Keyring
{
public:
    explicit Keyring(const SessionBus &bus)
        : m_env{bus.addressEnv(), "HOME=" + m_home.path(), "XDG_RUNTIME_DIR=" + m_home.path(),
                "DISPLAY"}
    {
        chmod(m_home.path().c_str(), 0700);
        // One empty line on stdin creates and unlocks the login keyring with an empty
        // password; without it every store asks a prompter that is not there.
        std::ofstream(m_home / "newline") << "\n";
        m_daemon.start({"sh", "-c",
                        "exec gnome-keyring-daemon --foreground --unlock --components=secrets < " +
                            (m_home / "newline").string()},
                       m_env, "/dev/null", (m_home / "keyring.err").string());
    }
    /// Runs a shell command in the keyring's environment; its exit status (-2: hung).
    int run(const std::string &command, const std::string &out = "/dev/null")
    {
        ChildProcess p;
        p.start({"sh", "-c", command}, m_env, out, (m_home / "tool.err").string());
        return p.wait(10s);
    }
    std::string path(const std::string &name) const { return (m_home / name).string(); }

private:
    TempDir m_home;
    std::vector<std::string> m_env;
    ChildProcess m_daemon;
};

// An item stored with secret-tool as the README says is found by host and user, though its
// schema is not ours; what the adapter stores secret-tool finds.
TEST(SecretServiceIntegration, FindsWhatSecretToolStoredAndStoresForIt)
{
    Watchdog watchdog(120s, "Secret Service test");
    SessionBus bus;
    Keyring keyring(bus);
    const std::string store = "printf pw1 | secret-tool store --label='Klingelwacht Router' "
                              "application klingelwacht host fritz.box user NAME";
    ASSERT_TRUE(waitUntil([&] { return keyring.run(store) == 0; }, 20s))
        << readFile(keyring.path("keyring.err")) << readFile(keyring.path("tool.err"));
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);

    LibsecretStore secrets;
    const auto found = lookup(secrets, "fritz.box", "NAME");
    EXPECT_EQ(found.status, SecretStore::Lookup::Status::Found) << found.error;
    EXPECT_EQ(found.password, "pw1");
    EXPECT_EQ(lookup(secrets, "fritz.box", "OTHER").status, SecretStore::Lookup::Status::NotFound);

    std::optional<std::string> stored;
    secrets.store("192.168.178.1", "fritz1234", "pw \xc3\xa4 2",
                  [&](std::string e) { stored = e; });
    EXPECT_EQ(waitFor(stored), "");
    EXPECT_EQ(keyring.run("secret-tool lookup application klingelwacht host 192.168.178.1 "
                          "user fritz1234",
                          keyring.path("out")),
              0);
    EXPECT_EQ(readFile(keyring.path("out")), "pw \xc3\xa4 2");
}

// No Secret Service on the bus: the lookup says so, and does not hang.
TEST(SecretServiceIntegration, WithoutSecretServiceTheLookupFails)
{
    Watchdog watchdog(120s, "Secret Service test");
    SessionBus bus;
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    LibsecretStore secrets;
    const auto answer = lookup(secrets, "fritz.box", "NAME");
    EXPECT_EQ(answer.status, SecretStore::Lookup::Status::NoService);
    EXPECT_NE(answer.error, "");
}

} // namespace
