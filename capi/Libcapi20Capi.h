#pragma once

#include "capi/Capi.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

/// CAPI through Debian's libcapi20, loaded at run time so the program starts without it.
/// Every call raises CapiUnavailable when the library cannot be loaded.
///
/// Over TCP (the library's "fritzbox" module) the adapter looks at the socket itself
/// before each fetch: it fetches only a frame that is wholly there, so the library never
/// blocks, and it reports CapiResult::LineLost when the peer has gone or the stream is out
/// of step, both of which the library would hide as an empty queue.
class Libcapi20Capi final : public Capi
{
public:
    /// Largest frame the library's TCP reader can take (its stack buffer).
    static constexpr std::size_t kMaxFrame = 4096;
    /// How long part of a frame may wait for its rest before the stream counts as lost.
    static constexpr std::chrono::seconds kMaxFrameStall{5};
    /// Frames dropped in one fetch before it gives the tick back.
    static constexpr int kMaxDropsPerFetch = 16;
    static constexpr int kKeepIdleSeconds = 60;
    static constexpr int kKeepIntervalSeconds = 10;
    static constexpr int kKeepCount = 3;
    static constexpr unsigned kUserTimeoutMs = 90000;

    explicit Libcapi20Capi(std::string libraryName = "libcapi20.so.3");
    ~Libcapi20Capi() override;
    Libcapi20Capi(const Libcapi20Capi &) = delete;
    Libcapi20Capi &operator=(const Libcapi20Capi &) = delete;

    std::uint32_t CAPI_REGISTER(std::uint32_t messageBufferSize, std::uint32_t maxLogicalConnection,
                                std::uint32_t maxBDataBlocks, std::uint32_t maxBDataLen,
                                std::uint32_t &applId) override;
    std::uint32_t CAPI_PUT_MESSAGE(std::uint32_t applId,
                                   std::span<const std::uint8_t> message) override;
    std::uint32_t CAPI_GET_MESSAGE(std::uint32_t applId, CapiMessage &message) override;
    std::uint32_t CAPI_RELEASE(std::uint32_t applId) override;
    std::string lastFailure() const override { return m_lastFailure; }
    int pollDescriptor(std::uint32_t applId) const override
    {
        return isOwnRegistration(applId) ? m_fd : -1;
    }

    /// The descriptor of this object's registration (-1 without one).
    int registrationFd() const { return m_fd; }
    /// Frames read off the socket and dropped since the registration.
    int droppedFrames() const { return m_droppedFrames; }

private:
    struct Library;
    Library &library();
    bool isOwnRegistration(std::uint32_t applId) const;
    bool holdsSlot() const;
    std::uint32_t fetchFrame(CapiMessage &message);
    bool isPeerGone(int pending) const;
    bool dropFrame(std::size_t frameSize);
    void watchPeer() const;
    void forgetRegistration();

    std::string m_libraryName;
    std::unique_ptr<Library> m_library;
    // The registration this object made: its ApplID, the library's descriptor for it,
    // whether that is a TCP socket, and the size of the library's receive buffers.
    std::uint32_t m_applId = 0;
    int m_fd = -1;
    bool m_isSocket = false;
    std::size_t m_receiveBufferSize = 0;
    /// Since when an incomplete frame has been waiting; empty while none is.
    std::optional<std::chrono::steady_clock::time_point> m_stallSince;
    int m_droppedFrames = 0;
    std::string m_lastFailure;
};
