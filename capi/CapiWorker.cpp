#include "capi/CapiWorker.h"

#include "base/UniqueFd.h"
#include "capi/CapiResult.h"
#include "capi/CapiState.h"
#include "capi/CapiUnavailable.h"

#include <atomic>
#include <cstdio>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace {

std::string hex(std::uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", value);
    return buf;
}

// With a descriptor to wait on, the thread sleeps until a message, a put or stop comes, or
// at most this long (retries and the listen timeout are looked at in between).
constexpr int kPollMs = 1000;
// Readable without a whole message (part of a frame, or only frames the adapter drops):
// the rest comes soon, but not at once.
constexpr std::chrono::milliseconds kPartialWait{10};
// Without a descriptor the thread looks again after this; right after traffic sooner.
constexpr std::chrono::milliseconds kIdle{20};
constexpr std::chrono::milliseconds kIdleAfterTraffic{1};
constexpr std::chrono::milliseconds kTrafficWindow{200};

std::atomic<bool> g_parked{false};

/// A thread of the library never returns from here once the process is ending.
void parkIfEnding()
{
    while (g_parked.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::hours(1));
}

} // namespace

struct CapiWorker::Shared
{
    Shared(Capi &c, const SteadyClock &clock)
        : capi(c), watch(clock), wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {}
    Shared(const Shared &) = delete;
    Shared &operator=(const Shared &) = delete;

    // Between the threads, under mutex.
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    std::deque<Item> inbox;
    std::deque<std::pair<std::uint32_t, std::vector<std::uint8_t>>> outbox;
    bool started = false;
    bool stopRequested = false;
    bool finished = false;

    // The session, touched only by the thread that runs the loop.
    Capi &capi;
    LineWatch watch;
    bool registered = false;
    std::uint32_t applId = 0;
    bool listenPending = false;
    LineWatch::TimePoint listenDeadline{};
    bool up = false;
    bool everUp = false;   // decides between "hergestellt" and "wieder hergestellt"
    bool toldDown = false; // the current outage has been told
    bool unavailable = false;
    bool lost = false; // a result said the line is gone
    ListenReqRecord listenReq;
    const UniqueFd wakeFd; // written by put() and stop(), so that a poll ends at once

    void wakeUp()
    {
        wake.notify_one();
        if (wakeFd) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto n = ::write(wakeFd.get(), &one, sizeof one);
        }
    }
    /// Sleeps until the line's descriptor is readable or wakeUp(); false when there is no
    /// descriptor to wait on.
    bool pollLine()
    {
        parkIfEnding();
        const int fd = registered ? capi.pollDescriptor(applId) : -1;
        if (fd < 0 || !wakeFd)
            return false;
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd.get(), POLLIN, 0}};
        ::poll(fds, 2, kPollMs);
        std::uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(wakeFd.get(), &count, sizeof count);
        return true;
    }

    void push(Item item)
    {
        std::lock_guard lock(mutex);
        inbox.push_back(std::move(item));
    }
    void note(Note::Kind kind, std::string text = {}, std::uint32_t id = 0)
    {
        push(Note{kind, id, std::move(text)});
    }
    std::size_t inboxSize()
    {
        std::lock_guard lock(mutex);
        return inbox.size();
    }

    /// One pass: register when due, put what is queued, fetch one message. True when a
    /// message came, so that the next one is fetched without a pause.
    bool pass();
    void attemptRegistration();
    void putQueued();
    bool fetch();
    void onListenConf(const CapiMessage &message);
    void checkResult(std::uint32_t result);
    void dropRegistration(bool tellLost);
    void release();
    void tellDown(const std::string &why);
};

bool CapiWorker::Shared::pass()
{
    parkIfEnding();
    if (unavailable)
        return false;
    bool fetched = false;
    try {
        if (!registered) {
            if (watch.isRetryDue())
                attemptRegistration();
            return false;
        }
        putQueued();
        if (registered && !lost)
            fetched = fetch();
        if (lost) {
            dropRegistration(true);
        } else if (listenPending && watch.now() >= listenDeadline) {
            tellDown("LISTEN_CONF bleibt aus");
            dropRegistration(false);
        }
    } catch (const CapiUnavailable &e) {
        unavailable = true;
        note(Note::Unavailable, e.what());
    }
    return fetched;
}

void CapiWorker::Shared::attemptRegistration()
{
    std::uint32_t id = 0;
    const std::uint32_t result =
        capi.CAPI_REGISTER(CapiState::kMessageBufferSize, CapiState::kMaxLogicalConnection,
                           CapiState::kMaxBDataBlocks, CapiState::kMaxBDataLen, id);
    // The interval counts from the end: an attempt that took long is not repeated at once.
    watch.noteAttempt();
    if (result != CapiResult::NoError) {
        const std::string why = capi.lastFailure();
        tellDown(why.empty() ? hex(result) : hex(result) + ", " + why);
        return;
    }
    registered = true;
    applId = id;
    lost = false;
    note(Note::Registered, {}, applId);
    fillListenReq(listenReq, applId);
    checkResult(capi.CAPI_PUT_MESSAGE(applId, listenReq.bytes()));
    if (lost) {
        dropRegistration(false);
        return;
    }
    listenPending = true;
    listenDeadline = watch.now() + kListenTimeout;
}

void CapiWorker::Shared::putQueued()
{
    parkIfEnding();
    std::deque<std::pair<std::uint32_t, std::vector<std::uint8_t>>> queued;
    {
        std::lock_guard lock(mutex);
        queued.swap(outbox);
    }
    for (const auto &[id, bytes] : queued) {
        // An answer to a message of an earlier registration has no one to go to.
        if (!registered || lost || id != applId)
            continue;
        checkResult(capi.CAPI_PUT_MESSAGE(applId, bytes));
    }
}

bool CapiWorker::Shared::fetch()
{
    // A full inbox holds the peer back until the UI has taken its messages.
    if (inboxSize() >= kMaxInbox)
        return false;
    CapiMessage message;
    parkIfEnding();
    const std::uint32_t result = capi.CAPI_GET_MESSAGE(applId, message);
    checkResult(result);
    if (result != CapiResult::NoError || message.data == nullptr)
        return false;
    if (message.size >= 8 && message.data[4] == CapiCommand::Listen &&
        message.data[5] == CapiSubcommand::Conf) {
        onListenConf(message);
        return true;
    }
    push(Fetched{applId, std::vector<std::uint8_t>(message.data, message.data + message.size)});
    return true;
}

void CapiWorker::Shared::onListenConf(const CapiMessage &message)
{
    // Info follows the controller's dword; absent bytes count as a refusal.
    const std::uint16_t info =
        message.size >= 14 ? readWord(message.data + 12) : std::uint16_t{0xFFFF};
    if (!listenPending)
        return;
    listenPending = false;
    if (info != 0) {
        tellDown("LISTEN_CONF Info " + hex(info));
        dropRegistration(false);
        return;
    }
    up = true;
    watch.noteUp();
    if (toldDown)
        note(Note::Notice,
             everUp ? "CAPI-Verbindung wieder hergestellt" : "CAPI-Verbindung hergestellt");
    toldDown = false;
    everUp = true;
    note(Note::Up);
}

void CapiWorker::Shared::checkResult(std::uint32_t result)
{
    if (CapiResult::meansLineLost(result))
        lost = true;
}

void CapiWorker::Shared::tellDown(const std::string &why)
{
    if (toldDown)
        return;
    note(Note::Notice,
         (everUp ? "CAPI-Verbindung verloren (" : "Keine CAPI-Verbindung (") + why + ")");
    toldDown = true;
}

void CapiWorker::Shared::dropRegistration(bool tellLost)
{
    const bool wasUp = up;
    if (tellLost && !toldDown) {
        note(Note::Notice, "CAPI-Verbindung verloren");
        toldDown = true;
    }
    // The old registration is given back before any new one is made.
    release();
    // A line that drops at once is not registered again at once.
    watch.noteAttempt();
    if (wasUp)
        note(Note::Lost);
}

void CapiWorker::Shared::release()
{
    if (!registered)
        return;
    parkIfEnding();
    registered = false;
    up = false;
    lost = false;
    listenPending = false;
    watch.noteDown();
    const std::uint32_t id = applId;
    applId = 0;
    capi.CAPI_RELEASE(id);
}

CapiWorker::CapiWorker(Capi &capi, Mode mode, const SteadyClock &clock)
    : m_shared(std::make_shared<Shared>(capi, clock)), m_mode(mode)
{}

CapiWorker::~CapiWorker()
{
    stop(std::chrono::milliseconds(500));
}

void CapiWorker::start()
{
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->started || m_shared->stopRequested)
            return;
        m_shared->started = true;
    }
    if (m_mode == Mode::Thread)
        m_thread = std::thread(&CapiWorker::loop, m_shared);
    else
        runOnce();
}

void CapiWorker::put(std::uint32_t applId, std::vector<std::uint8_t> message)
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->outbox.emplace_back(applId, std::move(message));
    }
    m_shared->wakeUp();
}

std::optional<CapiWorker::Item> CapiWorker::take()
{
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->inbox.empty())
        return std::nullopt;
    Item item = std::move(m_shared->inbox.front());
    m_shared->inbox.pop_front();
    return item;
}

std::optional<CapiWorker::Note> CapiWorker::takeNote()
{
    std::lock_guard lock(m_shared->mutex);
    if (m_shared->inbox.empty() || !std::holds_alternative<Note>(m_shared->inbox.front()))
        return std::nullopt;
    Note note = std::get<Note>(std::move(m_shared->inbox.front()));
    m_shared->inbox.pop_front();
    return note;
}

bool CapiWorker::stop(std::chrono::milliseconds wait)
{
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->stopRequested && !m_thread.joinable())
            return m_shared->finished || !m_shared->started;
        m_shared->stopRequested = true;
    }
    if (m_mode == Mode::Manual || !m_thread.joinable()) {
        try {
            m_shared->release();
        } catch (const CapiUnavailable &) {
            // Nothing was registered without a library.
        }
        std::lock_guard lock(m_shared->mutex);
        m_shared->finished = true;
        return true;
    }
    m_shared->wakeUp();
    std::unique_lock lock(m_shared->mutex);
    const bool finished = m_shared->done.wait_for(lock, wait, [&] { return m_shared->finished; });
    lock.unlock();
    if (finished) {
        m_thread.join();
        return true;
    }
    // The thread is inside a library call that does not return; it holds its own
    // reference to the shared state and ends with the process.
    m_thread.detach();
    return false;
}

void CapiWorker::parkAll()
{
    g_parked.store(true, std::memory_order_release);
}

void CapiWorker::runOnce()
{
    m_shared->pass();
}

void CapiWorker::flushPuts()
{
    if (!m_shared->registered)
        return;
    try {
        m_shared->putQueued();
        if (m_shared->lost)
            m_shared->dropRegistration(true);
    } catch (const CapiUnavailable &e) {
        m_shared->unavailable = true;
        m_shared->note(Note::Unavailable, e.what());
    }
}

void CapiWorker::loop(std::shared_ptr<Shared> shared)
{
    auto lastTraffic = std::chrono::steady_clock::now() - kTrafficWindow;
    bool polled = false; // the previous sleep ended on a readable descriptor
    for (;;) {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->stopRequested)
                break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (shared->pass()) {
            lastTraffic = now;
            polled = false;
            continue;
        }
        if (!polled && shared->pollLine()) {
            polled = true;
            continue;
        }
        polled = false;
        std::unique_lock lock(shared->mutex);
        if (!shared->outbox.empty())
            continue;
        auto idle = now - lastTraffic < kTrafficWindow ? kIdleAfterTraffic : kIdle;
        if (shared->registered && shared->capi.pollDescriptor(shared->applId) >= 0)
            idle = kPartialWait;
        shared->wake.wait_for(lock, idle,
                              [&] { return shared->stopRequested || !shared->outbox.empty(); });
    }
    try {
        shared->release();
    } catch (const CapiUnavailable &) {
        // Nothing was registered without a library.
    }
    {
        std::lock_guard lock(shared->mutex);
        shared->finished = true;
    }
    shared->done.notify_all();
}
