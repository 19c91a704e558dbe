#pragma once

#include "capi/Capi.h"
#include "capi/CapiRecords.h"
#include "capi/LineWatch.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

/// Runs every CAPI call (load, register, put, get, release) in order on a thread of its
/// own, because the library blocks without time limits. It keeps the registration: it
/// registers and listens, registers again at most once per retry interval after a failure
/// or a loss, counted from the end of the attempt, and fetches messages into an inbox. The
/// UI thread hands answers over and takes what was fetched without ever waiting.
class CapiWorker
{
public:
    /// Thread: a thread of its own. Manual: nothing runs until runOnce() (for tests).
    enum class Mode { Thread, Manual };

    /// A message fetched under the registration applId.
    struct Fetched
    {
        std::uint32_t applId = 0;
        std::vector<std::uint8_t> bytes;
    };
    /// A change of the line, in order with the messages.
    struct Note
    {
        enum Kind {
            Registered,  // applId holds the new registration
            Up,          // LISTEN_CONF with Info 0 came
            Lost,        // a line that was up is gone
            Notice,      // text for the user
            Unavailable, // there is no CAPI library; text says why
        };
        Kind kind = Notice;
        std::uint32_t applId = 0;
        std::string text;
    };
    using Item = std::variant<Fetched, Note>;

    /// Fetched messages held for the UI at most; the peer waits for the rest.
    static constexpr std::size_t kMaxInbox = 64;
    /// A LISTEN_REQ unanswered this long counts as refused.
    static constexpr std::chrono::seconds kListenTimeout{10};

    CapiWorker(Capi &capi, Mode mode, const SteadyClock &clock = systemSteadyClock());
    /// Ends the thread like stop() with a short wait.
    ~CapiWorker();
    CapiWorker(const CapiWorker &) = delete;
    CapiWorker &operator=(const CapiWorker &) = delete;

    /// Begins to register and listen.
    void start();
    /// Queues a message to be put under registration applId; dropped when that
    /// registration is gone by then.
    void put(std::uint32_t applId, std::vector<std::uint8_t> message);
    /// The next fetched message or note, if any.
    std::optional<Item> take();
    /// The next item if it is a note.
    std::optional<Note> takeNote();
    /// Releases the registration and ends the thread. False when the thread did not
    /// finish within wait (a library call hangs): it is abandoned, the release skipped.
    bool stop(std::chrono::milliseconds wait);

    /// The process is ending: from now on no CAPI thread enters the library again (each
    /// stops where it is before its next call), so that the library's own exit-time
    /// teardown never runs under one. A call in progress is not interrupted.
    static void parkAll();

    /// One pass of the thread's loop on the caller's thread (Manual mode).
    void runOnce();
    /// Puts what is queued and acts on a loss they found (Manual mode; the thread does so
    /// by itself).
    void flushPuts();

private:
    struct Shared;
    static void loop(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> m_shared;
    Mode m_mode;
    std::thread m_thread;
};
