#include "capi/Libcapi20Capi.h"

#include "capi/CapiFrameCheck.h"
#include "capi/CapiRemote.h"
#include "capi/CapiResult.h"
#include "capi/CapiUnavailable.h"

#include "base/LittleEndian.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

// capi20_put_message over TCP copies 2173 bytes from whatever pointer it gets, so every
// put goes out of a zeroed buffer at least this large.
constexpr std::size_t kPutBufferSize = 4096;
// The library's own send buffer (SEND_BUFSIZ) less the frame header: a message that
// announces more would be sent from beyond that buffer.
constexpr std::size_t kMaxPutLength = 2176 - 3;
// The library's receive buffers hold 128 + MaxSizeB3 bytes, never fewer than 2048.
constexpr std::size_t kMinReceiveBuffer = 2048;
constexpr std::uint8_t kFrameType = 0x80;
constexpr std::uint32_t kIllegalMessage = 0x1102;

class DlHandle
{
public:
    explicit DlHandle(void *handle) : m_handle(handle) {}
    ~DlHandle()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    DlHandle(const DlHandle &) = delete;
    DlHandle &operator=(const DlHandle &) = delete;
    void *get() const { return m_handle; }

private:
    void *m_handle;
};

std::size_t totalLength(const std::uint8_t *p)
{
    return readWord(p);
}

} // namespace

struct Libcapi20Capi::Library
{
    using RegisterFn = unsigned (*)(unsigned, unsigned, unsigned, unsigned *);
    using ReleaseFn = unsigned (*)(unsigned);
    using PutFn = unsigned (*)(unsigned, unsigned char *);
    using GetFn = unsigned (*)(unsigned, unsigned char **);
    using WaitFn = unsigned (*)(unsigned, struct timeval *);
    using FilenoFn = int (*)(unsigned);
    using TraceFn = void (*)(int);
    using SetTextFn = void (*)(char *);
    using SetPortFn = void (*)(int);

    explicit Library(void *h) : handle(h) {}

    DlHandle handle;
    RegisterFn capiRegister = nullptr;
    ReleaseFn capiRelease = nullptr;
    PutFn capiPut = nullptr;
    GetFn capiGet = nullptr;
    WaitFn capiWait = nullptr;
    FilenoFn capiFileno = nullptr;
    SetTextFn setDriver = nullptr;
    SetTextFn setHost = nullptr;
    SetPortFn setPort = nullptr;
    // The library may keep the pointers it is given.
    std::string driver;
    std::string host;
    std::array<unsigned char, kPutBufferSize> putBuffer{};
};

Libcapi20Capi::Libcapi20Capi(std::string libraryName) : m_libraryName(std::move(libraryName)) {}

Libcapi20Capi::~Libcapi20Capi() = default;

Libcapi20Capi::Library &Libcapi20Capi::library()
{
    if (m_library)
        return *m_library;
    void *h = dlopen(m_libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char *err = dlerror();
        throw CapiUnavailable("CAPI-Bibliothek " + m_libraryName +
                              " kann nicht geladen werden: " + (err ? err : "unbekannt"));
    }
    auto lib = std::make_unique<Library>(h);
    auto sym = [&](const char *name) {
        void *p = dlsym(h, name);
        if (!p)
            throw CapiUnavailable(std::string("CAPI-Bibliothek ohne Funktion ") + name);
        return p;
    };
    lib->capiRegister = reinterpret_cast<Library::RegisterFn>(sym("capi20_register"));
    lib->capiRelease = reinterpret_cast<Library::ReleaseFn>(sym("capi20_release"));
    lib->capiPut = reinterpret_cast<Library::PutFn>(sym("capi20_put_message"));
    lib->capiGet = reinterpret_cast<Library::GetFn>(sym("capi20_get_message"));
    lib->capiWait = reinterpret_cast<Library::WaitFn>(sym("capi20_waitformessage"));
    lib->capiFileno = reinterpret_cast<Library::FilenoFn>(sym("capi20_fileno"));
    // The library traces every put to stderr unless told otherwise.
    if (void *trace = dlsym(h, "capi20ext_set_tracelevel"))
        reinterpret_cast<Library::TraceFn>(trace)(0);
    lib->setDriver = reinterpret_cast<Library::SetTextFn>(dlsym(h, "capi20ext_set_driver"));
    lib->setHost = reinterpret_cast<Library::SetTextFn>(dlsym(h, "capi20ext_set_host"));
    lib->setPort = reinterpret_cast<Library::SetPortFn>(dlsym(h, "capi20ext_set_port"));
    // A vanished TCP peer would otherwise kill the process on the second put.
    std::signal(SIGPIPE, SIG_IGN);
    m_library = std::move(lib);
    return *m_library;
}

bool Libcapi20Capi::isOwnRegistration(std::uint32_t applId) const
{
    return m_fd >= 0 && applId == m_applId;
}

bool Libcapi20Capi::holdsSlot() const
{
    // The library keeps ApplID -> descriptor in memory shared by every process on the
    // machine, and over TCP the ApplID comes from the peer: another process that got the
    // same ApplID from its own peer overwrites our entry.
    return m_library->capiFileno(m_applId) == m_fd;
}

void Libcapi20Capi::forgetRegistration()
{
    m_applId = 0;
    m_fd = -1;
    m_isSocket = false;
    m_stallSince.reset();
    m_droppedFrames = 0;
}

std::uint32_t Libcapi20Capi::CAPI_REGISTER(std::uint32_t /*messageBufferSize*/,
                                           std::uint32_t maxLogicalConnection,
                                           std::uint32_t maxBDataBlocks, std::uint32_t maxBDataLen,
                                           std::uint32_t &applId)
{
    Library &lib = library();
    m_lastFailure.clear();
    // The library's own connect cannot be bounded: a host that drops SYNs holds it for
    // minutes. Its configuration is read afresh for each registration, so is ours.
    if (const auto remote = CapiRemote::readConfig(std::getenv("HOME"))) {
        const auto probe = CapiRemote::probe(*remote);
        if (!probe.reachable) {
            m_lastFailure = probe.reason;
            return CapiResult::RegNotInstalled;
        }
        // The library reads its file only while it holds no link, so a changed file or
        // a peer at a new address would not reach it; and the address that answered
        // spares it a second lookup.
        if (lib.setDriver && lib.setHost && lib.setPort) {
            lib.driver = remote->driver;
            lib.host = probe.ipv4Address.empty() ? remote->host : probe.ipv4Address;
            lib.setDriver(lib.driver.data());
            lib.setHost(lib.host.data());
            lib.setPort(remote->port);
        }
    }
    unsigned id = 0;
    const unsigned result =
        lib.capiRegister(maxLogicalConnection, maxBDataBlocks, maxBDataLen, &id);
    if (result != 0)
        return result;
    applId = id;
    m_applId = id;
    m_fd = lib.capiFileno(id);
    struct stat st = {};
    m_isSocket = m_fd >= 0 && fstat(m_fd, &st) == 0 && S_ISSOCK(st.st_mode);
    if (m_isSocket) {
        // Responses are small and answer the peer at once; Nagle would hold each behind
        // the peer's delayed ACK for up to 40 ms.
        const int one = 1;
        setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        watchPeer();
    }
    m_droppedFrames = 0;
    m_receiveBufferSize = std::max<std::size_t>(128 + maxBDataLen, kMinReceiveBuffer);
    m_stallSince.reset();
    return result;
}

void Libcapi20Capi::watchPeer() const
{
    // A peer that lost power or a NAT entry that expired sends neither FIN nor RST: probe
    // an idle line, and give up on data that stays unacknowledged.
    const int one = 1;
    const int idle = kKeepIdleSeconds;
    const int interval = kKeepIntervalSeconds;
    const int count = kKeepCount;
    const unsigned timeout = kUserTimeoutMs;
    setsockopt(m_fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    setsockopt(m_fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(m_fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(m_fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    setsockopt(m_fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeout, sizeof timeout);
}

std::uint32_t Libcapi20Capi::CAPI_PUT_MESSAGE(std::uint32_t applId,
                                              std::span<const std::uint8_t> message)
{
    Library &lib = library();
    if (isOwnRegistration(applId) && !holdsSlot())
        return CapiResult::LineLost;
    // The library sends as many bytes as the Total length says: never more than we have
    // or than its own buffer holds.
    if (message.size() < 8 || totalLength(message.data()) < 8 ||
        totalLength(message.data()) > message.size() || totalLength(message.data()) > kMaxPutLength)
        return kIllegalMessage;
    std::fill(lib.putBuffer.begin(), lib.putBuffer.end(), 0);
    std::memcpy(lib.putBuffer.data(), message.data(), std::min(message.size(), kPutBufferSize));
    return lib.capiPut(applId, lib.putBuffer.data());
}

std::uint32_t Libcapi20Capi::CAPI_GET_MESSAGE(std::uint32_t applId, CapiMessage &message)
{
    Library &lib = library();
    if (isOwnRegistration(applId)) {
        if (!holdsSlot())
            return CapiResult::LineLost;
        if (m_isSocket)
            return fetchFrame(message);
    }
    // A local controller: the kernel hands over whole messages, one per read, and
    // capi20_get_message may still block, so ask first with a zero timeout.
    struct timeval zero = {0, 0};
    const unsigned ready = lib.capiWait(applId, &zero);
    if (ready != 0)
        return ready;
    unsigned char *buf = nullptr;
    const unsigned result = lib.capiGet(applId, &buf);
    if (result != 0)
        return result;
    if (buf == nullptr)
        return CapiResult::QueueEmpty;
    const std::size_t bufferSize = m_receiveBufferSize ? m_receiveBufferSize : kMinReceiveBuffer;
    message.data = buf;
    message.size = std::min(totalLength(buf), bufferSize);
    return 0;
}

std::uint32_t Libcapi20Capi::fetchFrame(CapiMessage &message)
{
    int pending = 0;
    for (int drops = 0;; ++drops) {
        if (ioctl(m_fd, FIONREAD, &pending) != 0)
            return CapiResult::LineLost;
        if (pending < 3)
            break;
        std::uint8_t header[3];
        if (recv(m_fd, header, sizeof header, MSG_PEEK | MSG_DONTWAIT) != 3)
            return CapiResult::LineLost;
        const std::size_t length = readWord(header + 1);
        // Anything else is not a frame start: the stream is out of step for good. A longer
        // frame would overrun the library's reader.
        if (header[0] != kFrameType || length > kMaxFrame)
            return CapiResult::LineLost;
        if (static_cast<std::size_t>(pending) < 3 + length)
            break;
        m_stallSince.reset();
        std::array<std::uint8_t, kMaxFrame + 3> frame;
        if (recv(m_fd, frame.data(), 3 + length, MSG_PEEK | MSG_DONTWAIT) !=
            static_cast<ssize_t>(3 + length))
            return CapiResult::LineLost;
        const auto verdict = CapiFrameCheck::check({frame.data() + 3, length}, m_receiveBufferSize);
        if (verdict != CapiFrameCheck::Verdict::Pass) {
            if (!dropFrame(3 + length))
                return CapiResult::LineLost;
            // A flood of dropped frames must not hold the tick.
            if (drops + 1 >= kMaxDropsPerFetch)
                return CapiResult::QueueEmpty;
            continue;
        }
        unsigned char *buf = nullptr;
        const unsigned result = m_library->capiGet(m_applId, &buf);
        if (result != 0)
            return result;
        if (buf == nullptr)
            return CapiResult::QueueEmpty;
        // The library copies exactly the frame's bytes, which the check found to be the
        // whole message and no more than its receive buffer.
        message.data = buf;
        message.size = length;
        return 0;
    }
    if (isPeerGone(pending))
        return CapiResult::LineLost;
    // Part of a frame that never completes would keep the line silent for ever.
    if (pending == 0) {
        m_stallSince.reset();
    } else {
        const auto now = std::chrono::steady_clock::now();
        if (!m_stallSince)
            m_stallSince = now;
        else if (now - *m_stallSince >= kMaxFrameStall)
            return CapiResult::LineLost;
    }
    return CapiResult::QueueEmpty;
}

bool Libcapi20Capi::dropFrame(std::size_t frameSize)
{
    // The whole frame is in the socket buffer (peeked above): one read takes exactly it.
    std::array<std::uint8_t, kMaxFrame + 3> sink;
    const ssize_t n = recv(m_fd, sink.data(), frameSize, MSG_DONTWAIT);
    if (n != static_cast<ssize_t>(frameSize))
        return false;
    ++m_droppedFrames;
    return true;
}

bool Libcapi20Capi::isPeerGone(int pending) const
{
    struct pollfd p = {m_fd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) < 0)
        return errno != EINTR;
    if (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))
        return true;
    if (pending == 0 && (p.revents & POLLIN)) {
        char c = 0;
        const ssize_t n = recv(m_fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    }
    return false;
}

std::uint32_t Libcapi20Capi::CAPI_RELEASE(std::uint32_t applId)
{
    Library &lib = library();
    if (!isOwnRegistration(applId))
        return lib.capiRelease(applId);
    std::uint32_t result = 0;
    if (holdsSlot()) {
        result = lib.capiRelease(applId);
        // Freed meanwhile by another process: the library closed nothing of ours.
        if (result == CapiResult::IllegalApplId)
            ::close(m_fd);
    } else {
        // The slot belongs to another process now; releasing it would close a descriptor
        // of ours that is not the registration's.
        ::close(m_fd);
    }
    forgetRegistration();
    return result;
}
