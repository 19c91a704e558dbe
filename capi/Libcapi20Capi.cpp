#include "Libcapi20Capi.h"

#include "CapiUnavailable.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <sys/time.h>

namespace {

// Queue-empty answer of CAPI_GET_MESSAGE.
constexpr std::uint32_t kQueueEmpty = 0x1104;
// libcapi20 copies about 2 KiB from whatever pointer a put gets, so every put goes out
// of a zeroed buffer at least this large.
constexpr std::size_t kPutBufferSize = 4096;

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

} // namespace

struct Libcapi20Capi::Library
{
    using RegisterFn = unsigned (*)(unsigned, unsigned, unsigned, unsigned *);
    using ReleaseFn = unsigned (*)(unsigned);
    using PutFn = unsigned (*)(unsigned, unsigned char *);
    using GetFn = unsigned (*)(unsigned, unsigned char **);
    using WaitFn = unsigned (*)(unsigned, struct timeval *);
    using TraceFn = void (*)(int);

    explicit Library(void *h) : handle(h) {}

    DlHandle handle;
    RegisterFn capiRegister = nullptr;
    ReleaseFn capiRelease = nullptr;
    PutFn capiPut = nullptr;
    GetFn capiGet = nullptr;
    WaitFn capiWait = nullptr;
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
    // The library traces every put to stderr unless told otherwise.
    if (void *trace = dlsym(h, "capi20ext_set_tracelevel"))
        reinterpret_cast<Library::TraceFn>(trace)(0);
    // A vanished TCP peer would otherwise kill the process on the second put.
    std::signal(SIGPIPE, SIG_IGN);
    m_library = std::move(lib);
    return *m_library;
}

std::uint32_t Libcapi20Capi::CAPI_REGISTER(std::uint32_t /*messageBufferSize*/,
                                           std::uint32_t maxLogicalConnection,
                                           std::uint32_t maxBDataBlocks, std::uint32_t maxBDataLen,
                                           std::uint32_t &applId)
{
    Library &lib = library();
    unsigned id = 0;
    const unsigned result =
        lib.capiRegister(maxLogicalConnection, maxBDataBlocks, maxBDataLen, &id);
    if (result == 0)
        applId = id;
    return result;
}

std::uint32_t Libcapi20Capi::CAPI_PUT_MESSAGE(std::uint32_t applId,
                                              std::span<const std::uint8_t> message)
{
    Library &lib = library();
    const std::size_t n = std::min(message.size(), lib.putBuffer.size());
    std::fill(lib.putBuffer.begin(), lib.putBuffer.end(), 0);
    std::memcpy(lib.putBuffer.data(), message.data(), n);
    return lib.capiPut(applId, lib.putBuffer.data());
}

std::uint32_t Libcapi20Capi::CAPI_GET_MESSAGE(std::uint32_t applId, CapiMessage &message)
{
    Library &lib = library();
    // capi20_get_message blocks on some transports: ask first, with a zero timeout.
    struct timeval zero = {0, 0};
    if (lib.capiWait(applId, &zero) != 0)
        return kQueueEmpty;
    unsigned char *buf = nullptr;
    const unsigned result = lib.capiGet(applId, &buf);
    if (result != 0 || buf == nullptr)
        return result != 0 ? result : kQueueEmpty;
    // The library hands over whole messages: the announced length is what it holds.
    message.data = buf;
    message.size = static_cast<std::size_t>(buf[0] | (buf[1] << 8));
    return 0;
}

std::uint32_t Libcapi20Capi::CAPI_RELEASE(std::uint32_t applId)
{
    return library().capiRelease(applId);
}
