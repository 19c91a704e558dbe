#include "capi/CapiWorker.h"

#include "capi/CapiLine.h"
#include "line/CallEvents.h"
#include "tests/fakes/FakeCapi.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

/// A library whose registration does not return until it is let go, as with a peer that
/// accepts the connection and never answers.
class HangingCapi final : public Capi
{
public:
    std::mutex mutex;
    std::condition_variable cv;
    bool letGo = false;
    std::atomic<int> registerCalls{0};
    std::atomic<int> releaseCalls{0};

    void release()
    {
        {
            std::lock_guard lock(mutex);
            letGo = true;
        }
        cv.notify_all();
    }
    std::uint32_t CAPI_REGISTER(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                std::uint32_t &applId) override
    {
        ++registerCalls;
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return letGo; });
        applId = 1;
        return 0x1009;
    }
    std::uint32_t CAPI_PUT_MESSAGE(std::uint32_t, std::span<const std::uint8_t>) override
    {
        return 0;
    }
    std::uint32_t CAPI_GET_MESSAGE(std::uint32_t, CapiMessage &) override { return 0x1104; }
    std::uint32_t CAPI_RELEASE(std::uint32_t) override
    {
        ++releaseCalls;
        return 0;
    }
};

template<class Cond> bool waitUntil(Cond cond, std::chrono::milliseconds limit = 10s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The UI thread never waits for the library: ticks return, and stop gives up on a call
// that hangs and says so.
TEST(CapiWorkerThread, HangingRegistrationBlocksNeitherTicksNorStop)
{
    static HangingCapi capi; // outlives the thread that is left inside it
    CapiState state;
    std::vector<std::string> notices;
    {
        CapiLine line(capi, state);
        line.setNoticeSink([&](const std::string &t) { notices.push_back(t); });
        line.start();
        ASSERT_TRUE(waitUntil([&] { return capi.registerCalls == 1; }));
        const auto before = std::chrono::steady_clock::now();
        for (int i = 0; i < 10; ++i)
            line.tick();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 5s); // a watchdog, not a timing
        EXPECT_FALSE(line.isLineUp());
        line.stop();
        EXPECT_EQ(notices, std::vector<std::string>{
                               "CAPI-Bibliothek antwortet nicht; die Anmeldung wird nicht "
                               "freigegeben"});
    }
    capi.release(); // lets the abandoned thread end
    EXPECT_EQ(capi.releaseCalls, 0);
}

/// A fake whose queue and puts are guarded, for use from the worker's thread.
class LockedCapi final : public Capi
{
public:
    std::mutex mutex;
    FakeCapi fake;
    std::uint32_t CAPI_REGISTER(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                                std::uint32_t &applId) override
    {
        std::lock_guard lock(mutex);
        return fake.CAPI_REGISTER(a, b, c, d, applId);
    }
    std::uint32_t CAPI_PUT_MESSAGE(std::uint32_t id, std::span<const std::uint8_t> m) override
    {
        std::lock_guard lock(mutex);
        return fake.CAPI_PUT_MESSAGE(id, m);
    }
    std::uint32_t CAPI_GET_MESSAGE(std::uint32_t id, CapiMessage &m) override
    {
        std::lock_guard lock(mutex);
        return fake.CAPI_GET_MESSAGE(id, m);
    }
    std::uint32_t CAPI_RELEASE(std::uint32_t id) override
    {
        std::lock_guard lock(mutex);
        return fake.CAPI_RELEASE(id);
    }
    std::size_t puts()
    {
        std::lock_guard lock(mutex);
        return fake.puts.size();
    }
};

class CountingEvents final : public CallEvents
{
public:
    int incoming = 0, cleared = 0, up = 0;
    void onIncomingCall(const IncomingCall &) override { ++incoming; }
    void onCallCleared(const CallCleared &) override { ++cleared; }
    void onLineUp() override { ++up; }
    void onLineLost() override {}
};

// On its thread the worker registers, listens, fetches and puts the answers; each tick
// dispatches one message, and stop releases.
TEST(CapiWorkerThread, CallsFlowThroughTheThreadOneMessagePerTick)
{
    LockedCapi capi;
    CapiState state;
    CountingEvents events;
    CapiLine line(capi, state);
    line.setCallEvents(&events);
    line.start();
    ASSERT_TRUE(waitUntil([&] {
        line.tick();
        return events.up == 1;
    }));
    {
        std::lock_guard lock(capi.mutex);
        capi.fake.queueMessage(msg::connectInd(0x101, msg::callParams("345", "301")));
        capi.fake.queueMessage(msg::disconnectInd(0x101, 0x3490));
    }
    ASSERT_TRUE(waitUntil([&] {
        line.tick();
        return events.cleared == 1;
    }));
    EXPECT_EQ(events.incoming, 1);
    ASSERT_TRUE(waitUntil([&] { return capi.puts() == 3; })); // LISTEN_REQ, ALERT_REQ, RESP
    line.stop();
    std::lock_guard lock(capi.mutex);
    EXPECT_EQ(capi.fake.releaseCalls, 1);
}

} // namespace
