#include "phonebook/RouterPhonebook.h"

#include "base/Notice.h"
#include "phonebook/RefreshTimer.h"
#include "phonebook/SecretStore.h"

namespace {

const char kPrefix[] = "Router-Telefonbuch: ";

int entryCount(const std::vector<PhonebookBook> &books)
{
    int n = 0;
    for (const auto &b : books)
        n += static_cast<int>(b.entries.size());
    return n;
}

} // namespace

RouterPhonebook::RouterPhonebook(Settings settings, SecretStore &secrets, RefreshTimer &timer,
                                 std::chrono::milliseconds requestTimeout, Notice say)
    : m_settings(std::move(settings)), m_secrets(secrets), m_timer(timer), m_client(requestTimeout),
      m_say(std::move(say))
{
    if (!m_say)
        m_say = [](const std::string &text) { notice(text); };
}

void RouterPhonebook::setBooksHandler(
    std::function<void(const std::vector<PhonebookBook> &)> handler)
{
    m_booksHandler = std::move(handler);
}

void RouterPhonebook::setCodesHandler(std::function<void(std::string, std::string)> handler)
{
    m_codesHandler = std::move(handler);
}

void RouterPhonebook::start()
{
    const std::string dir = m_settings.cacheDir;
    // The router is asked once the copy is in, so a failure can say whether it stands in.
    m_offThread.run<RouterPhonebookCache::Contents>(
        [dir] { return RouterPhonebookCache::load(dir); },
        [this](RouterPhonebookCache::Contents c) {
            cacheLoaded(std::move(c));
            fetch(nullptr);
        });
    m_timer.start(kRefreshInterval, [this] {
        // The hour is up: a refused login may have been put right on the router meanwhile.
        m_loginRefused = false;
        fetch(nullptr);
    });
}

void RouterPhonebook::cacheLoaded(RouterPhonebookCache::Contents contents)
{
    if (!contents.error.empty())
        tell(std::string("Kopie ") + RouterPhonebookCache::kFileName +
             " nicht lesbar: " + contents.error);
    if (!contents.found || m_fetchedOnce)
        return;
    m_last = std::move(contents);
    if (m_booksHandler)
        m_booksHandler(m_last.books);
    if (m_settings.askCodes && m_codesHandler && !m_last.areaCode.empty())
        m_codesHandler(m_last.areaCode, m_last.countryCode);
}

void RouterPhonebook::lineUp()
{
    if (!m_loginRefused)
        fetch(nullptr);
}

void RouterPhonebook::setSettings(Settings settings)
{
    m_settings = std::move(settings);
    m_loginRefused = false;
    m_password.reset();
    m_lastTold.clear();
    ++m_generation;
    m_busy = false; // an answer for the old settings is dropped when it comes
    fetch(nullptr);
}

void RouterPhonebook::fetchNow(std::function<void(int, std::string)> done)
{
    m_loginRefused = false;
    m_password.reset(); // asked for after storing a new password, perhaps
    fetch(std::move(done));
}

void RouterPhonebook::fetch(Done done)
{
    if (done)
        m_waiting.push_back(std::move(done));
    if (m_noSecretService) {
        finish(0, "kein Secret Service; das Router-Telefonbuch ist bis zum nächsten Start aus");
        return;
    }
    if (m_busy)
        return; // the fetch under way answers for this one too
    m_busy = true;
    // The keyring is asked once, not every hour: a locked one would ask the user each time.
    if (m_password) {
        fetchWith(*m_password);
        return;
    }
    const unsigned generation = m_generation;
    m_secrets.lookup(m_settings.host, m_settings.user,
                     [this, generation](SecretStore::Lookup lookup) {
                         if (generation != m_generation)
                             return;
                         switch (lookup.status) {
                         case SecretStore::Lookup::Status::NoService:
                             m_noSecretService = true;
                             tell("kein Secret Service erreichbar (" + lookup.error +
                                  "); bis zum nächsten Start ohne Router-Telefonbuch");
                             finish(0, "kein Secret Service erreichbar (" + lookup.error + ")");
                             return;
                         case SecretStore::Lookup::Status::NotFound:
                             tell("kein Passwort für Benutzer " + m_settings.user + " an " +
                                  m_settings.host + " im Schlüsselbund");
                             finish(0, "kein Passwort im Schlüsselbund");
                             return;
                         case SecretStore::Lookup::Status::Found:
                             m_password = lookup.password;
                             fetchWith(lookup.password);
                             return;
                         }
                     });
}

void RouterPhonebook::fetchWith(const std::string &password)
{
    const Tr064Target target{m_settings.host, m_settings.port, m_settings.user, password};
    const unsigned generation = m_generation;
    m_client.fetchBooks(target, [this, target, generation](Tr064Client::Books books) {
        if (generation != m_generation)
            return;
        if (!books.ok() || !m_settings.askCodes) {
            booksFetched(std::move(books));
            return;
        }
        // The codes come with the books, so the disk copy holds both from one visit.
        auto held = std::make_shared<Tr064Client::Books>(std::move(books));
        m_client.fetchCodes(target, [this, held, generation](Tr064Client::Codes codes) {
            if (generation != m_generation)
                return;
            if (codes.ok()) {
                m_last.areaCode = codes.areaCode;
                m_last.countryCode = codes.countryCode;
                if (m_codesHandler)
                    m_codesHandler(codes.areaCode, codes.countryCode);
            } else {
                tell("Vorwahl nicht erfragt: " + codes.error);
            }
            booksFetched(std::move(*held));
        });
    });
}

void RouterPhonebook::booksFetched(Tr064Client::Books books)
{
    if (!books.ok()) {
        if (books.failure == Tr064Client::Failure::Login) {
            m_loginRefused = true;
            m_password.reset(); // the next try asks the keyring again: it may have changed
            tell(books.error);
        } else {
            tell(books.error, m_last.found ? "; die letzte Kopie gilt weiter" : "");
        }
        finish(0, books.error);
        return;
    }
    if (books.unnamed > 0 && !m_fetchedOnce)
        m_say(std::string(kPrefix) + "Einträge ohne Namen übergangen (interne Rufnummern): " +
              std::to_string(books.unnamed));
    m_fetchedOnce = true;
    m_lastTold.clear();
    m_last.found = true;
    m_last.books = std::move(books.books);
    if (m_booksHandler)
        m_booksHandler(m_last.books);
    save();
    finish(entryCount(m_last.books), {});
}

void RouterPhonebook::save()
{
    const std::string dir = m_settings.cacheDir;
    auto contents = m_last;
    m_offThread.run<std::string>(
        [dir, contents = std::move(contents)] { return RouterPhonebookCache::save(dir, contents); },
        [this](std::string error) {
            if (!error.empty())
                tell("Kopie nicht geschrieben: " + error);
        });
}

void RouterPhonebook::finish(int entries, const std::string &error)
{
    m_busy = false;
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (auto &done : waiting)
        done(entries, error);
}

void RouterPhonebook::tell(const std::string &text, const std::string &addition)
{
    if (text == m_lastTold)
        return;
    m_lastTold = text;
    m_say(kPrefix + text + addition);
}

std::vector<PhonebookBook> RouterPhonebook::loadCache(const std::string &dir)
{
    return RouterPhonebookCache::load(dir).books;
}
