#pragma once

#include "capi/CapiMessage.h"

#include <cstdint>
#include <span>
#include <string>

/// The four CAPI 2.0 functions the program uses. Results are CAPI's 32-bit codes
/// (0 = success). Implementations raise CapiUnavailable when there is no CAPI at all.
class Capi
{
public:
    virtual ~Capi() = default;

    /// Registers the application; on success applId receives its identifier.
    virtual std::uint32_t CAPI_REGISTER(std::uint32_t messageBufferSize,
                                        std::uint32_t maxLogicalConnection,
                                        std::uint32_t maxBDataBlocks, std::uint32_t maxBDataLen,
                                        std::uint32_t &applId) = 0;
    /// Hands one message to CAPI. The span holds exactly the message's bytes.
    virtual std::uint32_t CAPI_PUT_MESSAGE(std::uint32_t applId,
                                           std::span<const std::uint8_t> message) = 0;
    /// Fetches one message without waiting; 0 when one was fetched. The message stays
    /// valid until the next fetch.
    virtual std::uint32_t CAPI_GET_MESSAGE(std::uint32_t applId, CapiMessage &message) = 0;
    /// Ends the registration.
    virtual std::uint32_t CAPI_RELEASE(std::uint32_t applId) = 0;
    /// Why the latest registration failed, when the implementation knows more than the
    /// code says (e.g. which host did not answer); empty otherwise.
    virtual std::string lastFailure() const { return {}; }
    /// A descriptor that turns readable when a message may be there, so that the CAPI
    /// thread can sleep until then; -1 when there is none to wait on.
    virtual int pollDescriptor(std::uint32_t /*applId*/) const { return -1; }
};
