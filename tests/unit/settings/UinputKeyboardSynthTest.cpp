#include "settings/UinputKeyboardSynth.h"

#include "settings/LibevdevUinputDevice.h"
#include "settings/LockKeySignaller.h"
#include "tests/fakes/FakeUinputDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input-event-codes.h>
#include <thread>
#include <unistd.h>

namespace {

using Event = UinputRecord::Event;

std::size_t count(const std::string &haystack, const std::string &needle)
{
    std::size_t n = 0;
    for (auto at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

struct Keyboard
{
    std::shared_ptr<UinputRecord> record = std::make_shared<UinputRecord>();
    std::unique_ptr<UinputKeyboardSynth> synth;
    std::string err;

    explicit Keyboard(int createError = 0)
    {
        record->createError = createError;
        testing::internal::CaptureStderr();
        synth = std::make_unique<UinputKeyboardSynth>(std::make_unique<FakeUinputDevice>(record));
        err = testing::internal::GetCapturedStderr();
    }
};

// The device is made once, at once, able to send exactly the three lock keys.
TEST(UinputKeyboardSynth, MakesOneKeyboardWithTheThreeLockKeys)
{
    Keyboard k;
    EXPECT_TRUE(k.synth->isReady());
    EXPECT_EQ(k.err, "");
    ASSERT_EQ(k.record->createdNames.size(), 1u);
    EXPECT_EQ(k.record->createdNames[0], "Klingelwacht Feststelltasten");
    EXPECT_EQ(k.record->keyCodes,
              (std::vector<unsigned>{KEY_NUMLOCK, KEY_CAPSLOCK, KEY_SCROLLLOCK}));
    EXPECT_TRUE(k.record->events.empty());
}

// A toggle is a press and a release, each closed by its own SYN_REPORT.
TEST(UinputKeyboardSynth, ToggleIsPressSynReleaseSyn)
{
    const struct
    {
        LockKey key;
        unsigned code;
    } cases[] = {{LockKey::NumLock, 69}, {LockKey::CapsLock, 58}, {LockKey::ScrollLock, 70}};
    for (const auto &c : cases) {
        Keyboard k;
        k.synth->toggleLockKey(c.key);
        EXPECT_EQ(k.record->events, (std::vector<Event>{{EV_KEY, c.code, 1},
                                                        {EV_SYN, SYN_REPORT, 0},
                                                        {EV_KEY, c.code, 0},
                                                        {EV_SYN, SYN_REPORT, 0}}))
            << c.code;
    }
}

// The signalling of a first call with no settings: the three keys in their order.
TEST(UinputKeyboardSynth, SignallerTogglesAllThreeInOrder)
{
    Keyboard k;
    LockKeyFlags flags;
    LockKeySignaller signaller(*k.synth, flags);
    signaller.signal("4711");
    signaller.signal("4711");
    ASSERT_EQ(k.record->events.size(), 12u);
    EXPECT_EQ(k.record->events[0], (Event{EV_KEY, KEY_NUMLOCK, 1}));
    EXPECT_EQ(k.record->events[4], (Event{EV_KEY, KEY_CAPSLOCK, 1}));
    EXPECT_EQ(k.record->events[8], (Event{EV_KEY, KEY_SCROLLLOCK, 1}));
}

// Without the device: one stderr line that says why and what to do, nothing is written,
// and the flags turn true all the same.
TEST(UinputKeyboardSynth, WithoutDeviceSaysWhyOnceAndGoesOn)
{
    const struct
    {
        int error;
        const char *why;
        const char *fix;
    } cases[] = {
        {EACCES, "kein Zugriff auf /dev/uinput", "data/udev/70-klingelwacht-uinput.rules"},
        {EPERM, "kein Zugriff auf /dev/uinput", "/etc/udev/rules.d/"},
        {ENOENT, "/dev/uinput fehlt", "modprobe uinput"},
        {ENODEV, "/dev/uinput fehlt", "modprobe uinput"},
        {EIO, "keine virtuelle Tastatur", "Input/output error"},
    };
    for (const auto &c : cases) {
        Keyboard k(c.error);
        EXPECT_FALSE(k.synth->isReady());
        EXPECT_EQ(count(k.err, "\n"), 1u) << k.err;
        EXPECT_EQ(count(k.err, c.why), 1u) << k.err;
        EXPECT_EQ(count(k.err, c.fix), 1u) << k.err;
        LockKeyFlags flags;
        LockKeySignaller signaller(*k.synth, flags);
        testing::internal::CaptureStderr();
        signaller.signal("4711");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_TRUE(k.record->events.empty());
        EXPECT_EQ(flags.NumLockSignalled, -1);
        EXPECT_EQ(flags.ScrollLockSignalled, -1);
    }
}

// A press that did not go out gets no release (a lone release is noise; a lone press
// would hold the key down); the failure is said once, however often it happens.
TEST(UinputKeyboardSynth, FailedWriteSaidOnceNoReleaseWithoutPress)
{
    Keyboard k;
    k.record->writeError = ENODEV;
    k.record->failAfter = 0;
    testing::internal::CaptureStderr();
    k.synth->toggleLockKey(LockKey::NumLock);
    k.synth->toggleLockKey(LockKey::CapsLock);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(k.record->events.empty());
    EXPECT_EQ(count(err, "nimmt keine Taste an"), 1u) << err;
}

// A failure after the press still sends the release, so the key is not left held.
TEST(UinputKeyboardSynth, PressThatWentOutIsReleased)
{
    Keyboard k;
    k.record->writeError = EIO;
    k.record->failAfter = 2;
    testing::internal::CaptureStderr();
    k.synth->toggleLockKey(LockKey::ScrollLock);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(k.record->events,
              (std::vector<Event>{{EV_KEY, KEY_SCROLLLOCK, 1}, {EV_SYN, SYN_REPORT, 0}}));
}

// The real device: the events read back from its /dev/input node. Needs a kernel with
// uinput and access to it.
TEST(LibevdevUinputDevice, EventsArriveOnTheDeviceNode)
{
    auto device = std::make_unique<LibevdevUinputDevice>();
    LibevdevUinputDevice *real = device.get();
    const int error = real->create("Klingelwacht Test", {KEY_NUMLOCK});
    if (error == ENOENT || error == ENODEV)
        GTEST_SKIP() << "this kernel has no /dev/uinput (no uinput module), so no virtual "
                        "keyboard can be made here; the event sequence is tested with a fake";
    if (error == EACCES || error == EPERM)
        GTEST_SKIP() << "no access to /dev/uinput for this user";
    ASSERT_EQ(error, 0) << std::strerror(error);
    ASSERT_NE(real->devNode(), nullptr);
    const int fd = ::open(real->devNode(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << real->devNode();
    libevdev *reader = nullptr;
    ASSERT_EQ(libevdev_new_from_fd(fd, &reader), 0);
    EXPECT_TRUE(libevdev_has_event_code(reader, EV_KEY, KEY_NUMLOCK));
    EXPECT_FALSE(libevdev_has_event_code(reader, EV_KEY, KEY_A));

    EXPECT_EQ(real->writeEvent(EV_KEY, KEY_NUMLOCK, 1), 0);
    EXPECT_EQ(real->writeEvent(EV_SYN, SYN_REPORT, 0), 0);
    EXPECT_EQ(real->writeEvent(EV_KEY, KEY_NUMLOCK, 0), 0);
    EXPECT_EQ(real->writeEvent(EV_SYN, SYN_REPORT, 0), 0);
    std::vector<Event> got;
    for (int tries = 0; tries < 200 && got.size() < 4; ++tries) {
        input_event ev{};
        const int rc = libevdev_next_event(reader, LIBEVDEV_READ_FLAG_NORMAL, &ev);
        if (rc == LIBEVDEV_READ_STATUS_SUCCESS)
            got.push_back({ev.type, ev.code, ev.value});
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(got, (std::vector<Event>{{EV_KEY, KEY_NUMLOCK, 1},
                                       {EV_SYN, SYN_REPORT, 0},
                                       {EV_KEY, KEY_NUMLOCK, 0},
                                       {EV_SYN, SYN_REPORT, 0}}));
    libevdev_free(reader);
    ::close(fd);
}

} // namespace
