#include "phonebook/Phonebook.h"

#include "base/Notice.h"
#include "phonebook/VCardSource.h"

#include <QFileSystemWatcher>
#include <QTimer>

namespace {

// Editors and sync tools write in bursts; one load after the burst is enough.
constexpr int kDebounceMs = 500;

} // namespace

std::string PhonebookAnswer::displayText() const
{
    if (match)
        return match->displayName();
    if (!place.empty())
        return "(" + place + ")";
    return {};
}

struct Phonebook::Job
{
    bool files = true;
    bool reindex = true; // the router's books or the codes changed since the last index
    std::vector<std::string> paths;
    std::shared_ptr<const std::vector<PhonebookBook>> vcardBooks; // when files is false
    std::vector<PhonebookBook> routerBooks;
    std::string areaCode;
    std::string countryCode;
};

struct Phonebook::Result
{
    std::shared_ptr<const std::vector<PhonebookBook>> vcardBooks;
    std::shared_ptr<const PhonebookIndex> index;
    std::vector<std::string> conflicts;
    std::vector<std::string> watchPaths;
    bool files = false;
};

Phonebook::Phonebook(PhonebookConfig config, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_keys(currentKeys()),
      m_source(std::make_unique<VCardSource>())
{}

Phonebook::~Phonebook()
{
    m_stopping = true;
    if (m_loader.joinable())
        m_loader.join();
}

void Phonebook::start()
{
    if (!m_config.vcardPaths.empty()) {
        m_watcher = new QFileSystemWatcher(this);
        m_debounce = new QTimer(this);
        m_debounce->setSingleShot(true);
        m_debounce->setInterval(kDebounceMs);
        connect(m_debounce, &QTimer::timeout, this, [this] { scheduleLoad(true); });
        connect(m_watcher, &QFileSystemWatcher::fileChanged, m_debounce,
                qOverload<>(&QTimer::start));
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_debounce,
                qOverload<>(&QTimer::start));
    }
    scheduleLoad(true);
}

void Phonebook::loadNow()
{
    Job job;
    job.paths = m_config.vcardPaths;
    job.routerBooks = m_routerBooks;
    job.areaCode = m_keys.areaCode();
    job.countryCode = m_keys.countryCode();
    finish(run(job));
}

void Phonebook::setRouterBooks(std::vector<PhonebookBook> books)
{
    m_routerBooks = std::move(books);
    scheduleLoad(false);
}

void Phonebook::setRouterCodes(std::string areaCode, std::string countryCode)
{
    m_routerArea = std::move(areaCode);
    m_routerCountry = std::move(countryCode);
    NumberKeys keys = currentKeys();
    if (keys.areaCode() == m_keys.areaCode() && keys.countryCode() == m_keys.countryCode())
        return;
    m_keys = std::move(keys);
    m_places.clear();
    scheduleLoad(false);
}

NumberKeys Phonebook::currentKeys() const
{
    return NumberKeys(m_config.areaCode.empty() ? m_routerArea : m_config.areaCode,
                      m_config.countryCode.empty() ? m_routerCountry : m_config.countryCode);
}

PhonebookAnswer Phonebook::lookup(std::string_view caller) const
{
    PhonebookAnswer answer;
    const auto key = m_keys.callerKey(caller);
    if (!key)
        return answer; // withheld texts and internal numbers are never looked up
    answer.key = key->e164;
    answer.national = m_keys.formatNational(key->e164);
    if (m_index)
        answer.match = m_index->lookup(*key);
    if (!answer.match)
        answer.place = placeOf(key->e164);
    return answer;
}

std::string Phonebook::displayText(std::string_view caller) const
{
    const auto key = m_keys.callerKey(caller);
    if (!key)
        return {};
    if (m_index) {
        if (const auto match = m_index->lookup(*key))
            return match->displayName();
    }
    const std::string &place = placeOf(key->e164);
    return place.empty() ? std::string() : "(" + place + ")";
}

const std::string &Phonebook::placeOf(const std::string &e164) const
{
    // A bound on memory, not a policy: the numbers of a long caller.log start anew.
    if (m_places.size() > 100000)
        m_places.clear();
    const auto [it, added] = m_places.try_emplace(e164);
    if (added)
        it->second = m_keys.place(e164);
    return it->second;
}

void Phonebook::scheduleLoad(bool files)
{
    m_pending = true;
    m_pendingFiles = m_pendingFiles || files || !m_vcardBooks;
    m_pendingReindex = m_pendingReindex || !files;
    if (!m_busy)
        startJob();
}

void Phonebook::startJob()
{
    Job job;
    job.files = m_pendingFiles;
    job.reindex = m_pendingReindex;
    job.paths = m_config.vcardPaths;
    job.vcardBooks = m_vcardBooks;
    job.routerBooks = m_routerBooks;
    job.areaCode = m_keys.areaCode();
    job.countryCode = m_keys.countryCode();
    m_pending = false;
    m_pendingFiles = false;
    m_pendingReindex = false;
    m_busy = true;
    if (m_loader.joinable())
        m_loader.join(); // it has finished: its result is what made us free
    m_loader = std::thread([this, job = std::move(job)] {
        auto result = run(job);
        if (m_stopping)
            return;
        QMetaObject::invokeMethod(
            this, [this, result] { finish(result); }, Qt::QueuedConnection);
    });
}

std::shared_ptr<Phonebook::Result> Phonebook::run(const Job &job)
{
    auto result = std::make_shared<Result>();
    result->files = job.files;
    if (job.files) {
        auto books = m_source->load(job.paths);
        result->watchPaths = m_source->watchPaths();
        // A folder's other files (or the program's own files beside a watched one) changed:
        // the books are the same, and so is the index.
        if (job.vcardBooks && !job.reindex && !m_source->hasChanged())
            return result;
        result->vcardBooks = std::make_shared<std::vector<PhonebookBook>>(std::move(books));
    } else {
        result->vcardBooks = job.vcardBooks;
    }
    auto index = std::make_shared<PhonebookIndex>(NumberKeys(job.areaCode, job.countryCode));
    const auto add = [&](const PhonebookBook &book) {
        for (auto &conflict : index->add(book))
            result->conflicts.push_back(std::move(conflict));
    };
    if (result->vcardBooks) {
        for (const PhonebookBook &book : *result->vcardBooks)
            add(book);
    }
    for (const PhonebookBook &book : job.routerBooks)
        add(book);
    result->index = std::move(index);
    return result;
}

void Phonebook::finish(const std::shared_ptr<Result> &result)
{
    m_busy = false;
    if (result->files)
        watch(result->watchPaths);
    if (!result->index) {
        if (m_pending)
            startJob();
        return;
    }
    m_vcardBooks = result->vcardBooks;
    m_index = result->index;
    for (const std::string &conflict : result->conflicts) {
        if (m_toldConflicts.insert(conflict).second)
            notice("Telefonbuch: zwei Namen für eine Nummer, der erste gilt: " + conflict);
    }
    emit changed();
    if (m_pending)
        startJob();
}

void Phonebook::watch(const std::vector<std::string> &paths)
{
    if (!m_watcher)
        return;
    QStringList wanted;
    for (const std::string &path : paths)
        wanted.append(QString::fromStdString(path));
    wanted.removeDuplicates();
    QStringList stale;
    for (const QString &path : m_watcher->files() + m_watcher->directories()) {
        if (!wanted.contains(path))
            stale.append(path);
    }
    if (!stale.isEmpty())
        m_watcher->removePaths(stale);
    QStringList fresh;
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    for (const QString &path : wanted) {
        if (!watched.contains(path))
            fresh.append(path);
    }
    if (!fresh.isEmpty())
        m_watcher->addPaths(fresh);
}
