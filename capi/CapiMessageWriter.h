#pragma once

#include "base/LittleEndian.h"
#include "capi/CapiMessage.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

/// Writes ApplID and Message number into the header of a message of at least 8 bytes.
/// CAPI identifiers are 16-bit: the field takes the identifier's low word.
inline void setHeaderIds(std::span<std::uint8_t> message, std::uint32_t applId,
                         std::uint16_t messageNumber)
{
    assert(message.size() >= HeaderOffset::Size);
    writeWord(message.data() + HeaderOffset::ApplId, static_cast<std::uint16_t>(applId));
    writeWord(message.data() + HeaderOffset::MessageNumber, messageNumber);
}

/// Appends a CAPI struct of up to 254 bytes: its length byte, then its contents.
inline void appendStructure(std::vector<std::uint8_t> &bytes,
                            std::span<const std::uint8_t> contents)
{
    assert(contents.size() < 0xff);
    bytes.push_back(static_cast<std::uint8_t>(contents.size()));
    bytes.insert(bytes.end(), contents.begin(), contents.end());
}

/// Builds one CAPI message, whoever sends it: the header, then the parameters in the
/// order the message kind lays them out. The Total length field always counts every byte
/// written so far.
class CapiMessageWriter
{
public:
    CapiMessageWriter(std::uint8_t command, std::uint8_t subcommand, std::uint32_t applId = 0,
                      std::uint16_t messageNumber = 0)
        : m_bytes(HeaderOffset::Size, 0)
    {
        m_bytes[HeaderOffset::Command] = command;
        m_bytes[HeaderOffset::Subcommand] = subcommand;
        setHeaderIds(m_bytes, applId, messageNumber);
        counted();
    }

    CapiMessageWriter &byte(std::uint8_t value)
    {
        m_bytes.push_back(value);
        return counted();
    }
    CapiMessageWriter &word(std::uint16_t value)
    {
        appendWord(m_bytes, value);
        return counted();
    }
    CapiMessageWriter &dword(std::uint32_t value)
    {
        appendDword(m_bytes, value);
        return counted();
    }
    CapiMessageWriter &bytes(std::span<const std::uint8_t> bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return counted();
    }
    CapiMessageWriter &zeros(std::size_t count)
    {
        m_bytes.insert(m_bytes.end(), count, 0);
        return counted();
    }
    CapiMessageWriter &structure(std::span<const std::uint8_t> contents = {})
    {
        appendStructure(m_bytes, contents);
        return counted();
    }

    const std::vector<std::uint8_t> &message() const { return m_bytes; }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    CapiMessageWriter &counted()
    {
        writeWord(m_bytes.data() + HeaderOffset::TotalLength,
                  static_cast<std::uint16_t>(m_bytes.size()));
        return *this;
    }

    std::vector<std::uint8_t> m_bytes;
};
