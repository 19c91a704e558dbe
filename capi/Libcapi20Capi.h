#pragma once

#include "Capi.h"

#include <memory>
#include <string>

/// CAPI through Debian's libcapi20, loaded at run time so the program starts without it.
/// Every call raises CapiUnavailable when the library cannot be loaded.
class Libcapi20Capi final : public Capi
{
public:
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

private:
    struct Library;
    Library &library();

    std::string m_libraryName;
    std::unique_ptr<Library> m_library;
};
