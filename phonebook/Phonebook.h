#pragma once

#include "phonebook/PhonebookConfig.h"
#include "phonebook/PhonebookEntry.h"
#include "phonebook/PhonebookIndex.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

class QFileSystemWatcher;
class QTimer;
class VCardSource;

/// What the phonebook says of one caller.
struct PhonebookAnswer
{
    std::string key;                     // the E.164 key, empty for no number
    std::optional<PhonebookMatch> match; // the entry that names it
    std::string place;                   // where it is, when no entry names it
    std::string national;                // the number written the national way

    /// The name, else the place in parentheses ("(München)"), else empty.
    std::string displayText() const;
};

/// The address books: vCard files and folders, then the router's phonebooks, in that order.
/// Loads and indexes them on a thread of its own and swaps the new index in whole; watches
/// the vCard files and folders and loads again when they change. Used on the UI thread.
class Phonebook final : public QObject
{
    Q_OBJECT
public:
    explicit Phonebook(PhonebookConfig config, QObject *parent = nullptr);
    ~Phonebook() override;

    /// Starts the first load and the watching of the vCard files and folders.
    void start();
    /// Loads everything now on this thread (for the lookup command), without watching; not
    /// for a phonebook that was started.
    void loadNow();

    /// The router's phonebooks, asked after every vCard source.
    void setRouterBooks(std::vector<PhonebookBook> books);
    /// The router's area and country code; used where the settings name none.
    void setRouterCodes(std::string areaCode, std::string countryCode);

    PhonebookAnswer lookup(std::string_view caller) const;
    /// What a view shows for the caller: the name, else "(place)", else empty. Cheaper than
    /// lookup (no national form).
    std::string displayText(std::string_view caller) const;

signals:
    /// A new index is in place: shown names may have changed.
    void changed();

private:
    struct Job;
    struct Result;

    void scheduleLoad(bool files);
    void startJob();
    std::shared_ptr<Result> run(const Job &job);
    void finish(const std::shared_ptr<Result> &result);
    NumberKeys currentKeys() const;
    /// The key's place, through a cache: the geocoder takes tens of microseconds.
    const std::string &placeOf(const std::string &e164) const;
    void watch(const std::vector<std::string> &paths);

    PhonebookConfig m_config;
    std::string m_routerArea;
    std::string m_routerCountry;
    std::vector<PhonebookBook> m_routerBooks;
    std::shared_ptr<const std::vector<PhonebookBook>> m_vcardBooks;
    std::shared_ptr<const PhonebookIndex> m_index;
    NumberKeys m_keys;
    std::unique_ptr<VCardSource> m_source; // used by the loader only
    std::set<std::string> m_toldConflicts;
    mutable std::unordered_map<std::string, std::string> m_places;

    std::thread m_loader;
    std::atomic<bool> m_stopping{false};
    bool m_busy = false;
    bool m_pending = false;
    bool m_pendingFiles = false;
    bool m_pendingReindex = false;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_debounce = nullptr;
};
