#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

/// Builders for the CAPI messages that tests feed to the pump.
namespace msg {

using Bytes = std::vector<std::uint8_t>;

inline void putWord(Bytes &b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void appendDword(Bytes &b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

/// Header with the given command, subcommand and number; Total length fixed at the end.
inline Bytes header(std::uint8_t command, std::uint8_t subcommand, std::uint16_t number = 0,
                    std::uint16_t applId = 1)
{
    Bytes b(8, 0);
    putWord(b, 2, applId);
    b[4] = command;
    b[5] = subcommand;
    putWord(b, 6, number);
    return b;
}

inline Bytes &finish(Bytes &b)
{
    putWord(b, 0, static_cast<std::uint16_t>(b.size()));
    return b;
}

/// A message of just a PLCI after the header (confirmations, INFO_IND without info).
inline Bytes withPlci(std::uint8_t command, std::uint8_t subcommand, std::uint32_t plci,
                      std::uint16_t number = 0, std::initializer_list<std::uint8_t> rest = {})
{
    Bytes b = header(command, subcommand, number);
    appendDword(b, plci);
    b.insert(b.end(), rest);
    return finish(b);
}

inline Bytes disconnectInd(std::uint32_t plci, std::uint16_t reason, std::uint16_t number = 0)
{
    Bytes b = header(0x04, 0x82, number);
    appendDword(b, plci);
    b.push_back(static_cast<std::uint8_t>(reason));
    b.push_back(static_cast<std::uint8_t>(reason >> 8));
    return finish(b);
}

inline Bytes infoInd(std::uint32_t plci, std::uint16_t number = 0)
{
    // Info number 0x0018 and an empty info element.
    return withPlci(0x08, 0x82, plci, number, {0x18, 0x00, 0x00});
}

/// CONNECT_IND with CIP 1 and the given parameter bytes (Called party number on).
inline Bytes connectInd(std::uint32_t plci, const Bytes &params, std::uint16_t number = 0)
{
    Bytes b = header(0x02, 0x82, number);
    appendDword(b, plci);
    b.push_back(0x01);
    b.push_back(0x00);
    b.insert(b.end(), params.begin(), params.end());
    return finish(b);
}

/// Parameters: called number (type 0x81), calling number with type and presentation,
/// then empty subaddresses, BC, LLC, HLC and Additional Info.
inline Bytes callParams(const char *called, const char *calling, std::uint8_t ton = 0x21,
                        std::uint8_t pi = 0x80)
{
    Bytes p;
    const std::size_t c = std::char_traits<char>::length(called);
    p.push_back(static_cast<std::uint8_t>(c + 1));
    p.push_back(0x81);
    p.insert(p.end(), called, called + c);
    const std::size_t h = std::char_traits<char>::length(calling);
    p.push_back(static_cast<std::uint8_t>(h + 2));
    p.push_back(ton);
    p.push_back(pi);
    p.insert(p.end(), calling, calling + h);
    for (int i = 0; i < 7; ++i)
        p.push_back(0);
    return p;
}

} // namespace msg
