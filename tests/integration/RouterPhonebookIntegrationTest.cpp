// The router source with the real Qt Network client against routersim's TR-064 side.
#include "phonebook/RouterPhonebook.h"
#include "phonebook/RouterPhonebookCache.h"

#include "tests/fakes/FakeRefreshTimer.h"
#include "tests/fakes/FakeSecretStore.h"
#include "tests/support/Files.h"
#include "tests/support/RoutersimSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

const char kUser[] = "fritz1234";

int occurrences(const std::string &text, const std::string &part)
{
    int n = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at)
        ++n;
    return n;
}

/// routersim with a TR-064 side serving the given phonebook files.
class Router : public RoutersimSession
{
public:
    void start(const std::vector<std::string> &books, const std::string &mode = "normal")
    {
        std::vector<std::string> args{"--tr064-port-file", path("tport"), "--user",       kUser,
                                      "--password",        "geheim",      "--tr064-mode", mode};
        for (std::size_t i = 0; i < books.size(); ++i) {
            const std::string file = path("book" + std::to_string(i) + ".xml");
            std::ofstream(file, std::ios::binary) << books[i];
            args.insert(args.end(), {"--phonebook", file});
        }
        startSimulator(KW_ROUTERSIM_PATH, "router.scenario", "", args);
        m_tr064Port = std::atoi(readFile(path("tport")).c_str());
    }
    int tr064Port() const { return m_tr064Port; }
    std::string http() const { return readFile(path("transcript.txt-tr064")); }
    int requests(const std::string &text) const { return occurrences(http(), text); }

private:
    int m_tr064Port = 0;
};

std::string book(const char *name, const std::string &contacts, const char *encoding = "UTF-8")
{
    return std::string("<?xml version=\"1.0\" encoding=\"") + encoding +
           "\"?>\n<phonebooks>\n<phonebook name=\"" + name + "\">\n" + contacts +
           "</phonebook>\n</phonebooks>\n";
}

std::string contact(const std::string &name, const std::string &number)
{
    return "<contact><category>0</category><person><realName>" + name +
           "</realName></person><telephony nid=\"1\"><number type=\"home\" prio=\"1\" "
           "id=\"0\">" +
           number + "</number></telephony><uniqueid>1</uniqueid></contact>\n";
}

std::vector<std::string> flat(const std::vector<PhonebookBook> &books)
{
    std::vector<std::string> out;
    for (const auto &b : books)
        for (const auto &e : b.entries)
            out.push_back(b.source + "|" + e.name + "|" + e.number + "|" + e.origin);
    return out;
}

template<class Cond> bool spinUntil(Cond cond, std::chrono::milliseconds limit = 20s)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > limit.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void spinFor(std::chrono::milliseconds time)
{
    spinUntil([] { return false; }, time);
}

struct Source
{
    explicit Source(const std::string &dir, int port, bool askCodes = false,
                    std::chrono::milliseconds timeout = 10s)
        : phonebook({"127.0.0.1", static_cast<std::uint16_t>(port), kUser, askCodes, dir}, secrets,
                    timer, timeout, [this](const std::string &text) { notices += text + "\n"; })
    {
        phonebook.setBooksHandler([this](const std::vector<PhonebookBook> &b) {
            books = b;
            ++handed;
        });
        phonebook.setCodesHandler([this](std::string a, std::string c) { codes = a + "/" + c; });
    }
    /// "Jetzt abrufen", waited for.
    std::pair<int, std::string> fetchNow()
    {
        std::optional<std::pair<int, std::string>> result;
        phonebook.fetchNow([&](int n, std::string e) { result.emplace(n, e); });
        EXPECT_TRUE(spinUntil([&] { return result.has_value(); }));
        return result.value_or(std::pair{-1, ""});
    }

    FakeSecretStore secrets;
    FakeRefreshTimer timer;
    RouterPhonebook phonebook;
    std::vector<PhonebookBook> books;
    int handed = 0;
    std::string codes;
    std::string notices;
};

// Every phonebook the router lists is fetched through its own sid URL, each in its declared
// encoding; the result, codes included, is kept on disk for the user only.
TEST(RouterPhonebookIntegration, EveryBookIsFetchedAndKept)
{
    Router router;
    router.start({book("Telefonbuch", contact("Erika Muster", "030 1234567") + contact("", "**3")),
                  book("Firma", contact("J\xfcrgen M\xfcller", "0711 9876-0"), "ISO-8859-1")});
    TempDir dir;
    Source s(dir.path(), router.tr064Port(), true);
    s.phonebook.start();
    ASSERT_TRUE(spinUntil([&] { return s.handed == 1; })) << router.http();
    const std::vector<std::string> expected{
        "Router: Telefonbuch|Erika Muster|030 1234567|Telefonbuch",
        "Router: Firma|J\xc3\xbcrgen M\xc3\xbcller|0711 9876-0|Firma"};
    EXPECT_EQ(flat(s.books), expected);
    EXPECT_EQ(s.codes, "030/49");
    EXPECT_EQ(s.notices, "Router-Telefonbuch: Einträge ohne Namen übergangen (interne "
                         "Rufnummern): 1\n");
    EXPECT_EQ(router.requests("path=/phonebook.lua pbid=0 status=200"), 1);
    EXPECT_EQ(router.requests("path=/phonebook.lua pbid=1 status=200"), 1);
    EXPECT_EQ(s.timer.interval, std::chrono::milliseconds(RouterPhonebook::kRefreshInterval));

    const std::string cache = dir.path() + "/" + RouterPhonebookCache::kFileName;
    ASSERT_TRUE(spinUntil([&] { return !RouterPhonebook::loadCache(dir.path()).empty(); }));
    EXPECT_EQ(flat(RouterPhonebook::loadCache(dir.path())), expected);
    struct stat st
    {
    };
    ASSERT_EQ(stat(cache.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(RouterPhonebookCache::load(dir.path()).areaCode, "030");

    // The line comes back: the router is asked again, the keyring not.
    s.phonebook.lineUp();
    ASSERT_TRUE(spinUntil([&] { return s.handed == 2; })) << router.http();
    EXPECT_EQ(s.secrets.lookups.size(), 1u);
}

// A refused login is told once, in the program's words, and a line that comes back does not
// ask again; the next hourly refresh does, without telling it twice.
TEST(RouterPhonebookIntegration, RefusedLoginIsToldOnceAndNotRetriedOnReconnect)
{
    Router router;
    router.start({book("Telefonbuch", contact("Erika", "030 1"))}, "wrong-password");
    TempDir dir;
    Source s(dir.path(), router.tr064Port());
    const auto [entries, error] = s.fetchNow();
    EXPECT_EQ(entries, 0);
    EXPECT_EQ(error, "Anmeldung abgelehnt (Benutzer fritz1234)");
    const int asked = router.requests("action=GetPhonebookList");
    EXPECT_GE(asked, 1);
    s.phonebook.lineUp();
    s.phonebook.lineUp();
    spinFor(1s);
    EXPECT_EQ(router.requests("action=GetPhonebookList"), asked);
    s.timer.interval = 1h;
    s.phonebook.start();
    ASSERT_TRUE(spinUntil([&] { return router.requests("action=GetPhonebookList") > asked; }));
    s.timer.fire();
    spinFor(1s);
    EXPECT_EQ(s.notices, "Router-Telefonbuch: Anmeldung abgelehnt (Benutzer fritz1234)\n");
    EXPECT_EQ(s.handed, 0);
}

struct FailureCase
{
    const char *mode; // routersim's mode; "closed": no router at all
    const char *error;
};

// Whatever keeps the router from answering, the disk copy names the callers, and the failure
// is told once however often the router is asked.
TEST(RouterPhonebookIntegration, FailuresKeepTheDiskCopy)
{
    const FailureCase cases[] = {
        {"error", "antwortet HTTP 500 auf GetPhonebookList (Action Failed)"},
        {"hang", "keine Antwort von 127.0.0.1:"},
        {"closed", "nicht erreichbar"},
        {"broken-xml", "Telefonbuch Telefonbuch nicht lesbar (Zeile "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        TempDir dir;
        RouterPhonebookCache::Contents copy;
        copy.books = {{"Router: Alt", {{"Oma", "030 99", "Alt"}}}};
        ASSERT_EQ(RouterPhonebookCache::save(dir.path(), copy), "");
        Router router;
        const bool closed = std::string(c.mode) == "closed";
        router.start({book("Telefonbuch", contact("Neu", "030 1"))}, closed ? "normal" : c.mode);
        if (closed)
            router.stop();
        Source s(dir.path(), router.tr064Port(), false, 1s);
        s.phonebook.start();
        ASSERT_TRUE(spinUntil([&] { return s.handed == 1; }));
        EXPECT_EQ(flat(s.books), std::vector<std::string>{"Router: Alt|Oma|030 99|Alt"});
        const auto [entries, error] = s.fetchNow();
        EXPECT_EQ(entries, 0);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        s.phonebook.lineUp();
        spinFor(1500ms);
        EXPECT_EQ(occurrences(s.notices, "Router-Telefonbuch: "), 1) << s.notices;
        EXPECT_EQ(occurrences(s.notices, "; die letzte Kopie gilt weiter\n"), 1) << s.notices;
        EXPECT_EQ(s.handed, 1);
        EXPECT_EQ(flat(RouterPhonebook::loadCache(dir.path())),
                  std::vector<std::string>{"Router: Alt|Oma|030 99|Alt"});
    }
}

// Without a Secret Service the router is asked neither now nor later, and that is told once.
TEST(RouterPhonebookIntegration, NoSecretServiceTurnsTheSourceOff)
{
    Router router;
    router.start({book("Telefonbuch", contact("Erika", "030 1"))});
    TempDir dir;
    Source s(dir.path(), router.tr064Port());
    s.secrets.answer = {SecretStore::Lookup::Status::NoService, "", "no bus"};
    s.phonebook.start();
    ASSERT_TRUE(spinUntil([&] { return !s.notices.empty(); }));
    s.phonebook.lineUp();
    s.timer.fire();
    EXPECT_NE(s.fetchNow().second, "");
    spinFor(500ms);
    EXPECT_EQ(s.secrets.lookups, std::vector<std::string>{"127.0.0.1 fritz1234"});
    EXPECT_EQ(router.requests("HTTP "), 0);
    EXPECT_EQ(s.notices, "Router-Telefonbuch: kein Secret Service erreichbar (no bus); bis zum "
                         "nächsten Start ohne Router-Telefonbuch\n");
}

} // namespace
