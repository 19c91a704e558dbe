#pragma once

#include "capi/CapiMessageWriter.h"
#include "tools/capisim/Protocol.h"

#include <cstdint>
#include <initializer_list>

/// The CAPI messages that tests feed to the pump, built as capisim sends them; every one
/// carries ApplID 1 and the given message number.
namespace msg {

using Bytes = capisim::Bytes;

inline Bytes numbered(Bytes b, std::uint16_t number, std::uint16_t applId = 1)
{
    capisim::setHeader(b, applId, number);
    return b;
}

/// Just the header, Total length 8.
inline Bytes header(std::uint8_t command, std::uint8_t subcommand, std::uint16_t number = 0,
                    std::uint16_t applId = 1)
{
    return CapiMessageWriter(command, subcommand, applId, number).take();
}

/// A message of just a PLCI after the header (confirmations, INFO_IND without info).
inline Bytes withPlci(std::uint8_t command, std::uint8_t subcommand, std::uint32_t plci,
                      std::uint16_t number = 0, std::initializer_list<std::uint8_t> rest = {})
{
    return CapiMessageWriter(command, subcommand, 1, number).dword(plci).bytes(rest).take();
}

inline Bytes disconnectInd(std::uint32_t plci, std::uint16_t reason, std::uint16_t number = 0)
{
    return numbered(capisim::disconnectInd(plci, reason), number);
}

inline Bytes infoInd(std::uint32_t plci, std::uint16_t number = 0)
{
    // Info number 0x0018 and an empty info element.
    return numbered(capisim::infoInd(plci, 0x0018), number);
}

/// LISTEN_CONF for controller 1 with this Info.
inline Bytes listenConf(std::uint16_t info, std::uint16_t number = 0)
{
    return capisim::listenConf(1, number, 1, info);
}

/// CONNECT_IND with CIP 1 and the given parameter bytes (Called party number on).
inline Bytes connectInd(std::uint32_t plci, const Bytes &params, std::uint16_t number = 0)
{
    capisim::ConnectSpec spec;
    spec.plci = plci;
    spec.calledRaw = params;
    spec.callingRaw = Bytes{};
    spec.restRaw = Bytes{};
    return numbered(capisim::connectInd(spec), number);
}

/// Parameters: called number (type 0x81), calling number with type and presentation,
/// then empty subaddresses, BC, LLC, HLC and Additional Info.
inline Bytes callParams(const char *called, const char *calling, std::uint8_t ton = 0x21,
                        std::uint8_t pi = 0x80)
{
    capisim::ConnectSpec spec;
    spec.called = called;
    spec.calledTon = 0x81;
    spec.calling = calling;
    spec.ton = ton;
    spec.pi = pi;
    return capisim::connectParameters(spec);
}

} // namespace msg
