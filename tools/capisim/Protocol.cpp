#include "tools/capisim/Protocol.h"

#include "base/LittleEndian.h"
#include "capi/CapiMessage.h"
#include "capi/CapiMessageWriter.h"
#include "capi/CapiRecords.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>

namespace capisim {

namespace {

constexpr std::uint8_t kDataB3 = 0x86;
// The library's own requests to the peer: register, release, profile.
constexpr std::uint8_t kManagement = 0x20;

Bytes digitsAfter(std::initializer_list<std::uint8_t> octets, const std::string &digits)
{
    Bytes b(octets);
    b.insert(b.end(), digits.begin(), digits.end());
    return b;
}

std::string dec(std::uint32_t v)
{
    return std::to_string(v);
}

// Management replies start with the request's header turned into a confirmation.
Bytes managementHeader(std::size_t length, std::uint16_t applId)
{
    return CapiMessageWriter(kManagement, CapiSubcommand::Conf, applId, 1)
        .zeros(length - HeaderOffset::Size)
        .take();
}

Bytes withTwoByteHeader(const Bytes &body)
{
    Bytes out{kFrameType, static_cast<std::uint8_t>(body.size())};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

} // namespace

void FrameReader::feed(const std::uint8_t *data, std::size_t size)
{
    if (m_start > 0 && m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
}

FrameReader::Status FrameReader::next(Bytes &payload)
{
    if (!m_error.empty())
        return Status::Broken;
    const std::size_t have = m_buffer.size() - m_start;
    if (have < 1)
        return Status::NeedMore;
    if (m_buffer[m_start] != kFrameType) {
        m_error = "type";
        return Status::Broken;
    }
    if (have < 3)
        return Status::NeedMore;
    const std::size_t length = readWord(m_buffer.data() + m_start + 1);
    if (length > kMaxFrame) {
        m_error = "length";
        return Status::Broken;
    }
    if (have < 3 + length)
        return Status::NeedMore;
    const auto begin = m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start + 3);
    payload.assign(begin, begin + static_cast<std::ptrdiff_t>(length));
    m_start += 3 + length;
    return Status::Frame;
}

Bytes frame(const Bytes &payload)
{
    if (payload.size() > kMaxFrame)
        throw std::length_error("frame longer than 4096 bytes");
    Bytes out{kFrameType};
    appendWord(out, static_cast<std::uint16_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::optional<Management> parseManagement(const Bytes &payload)
{
    HeaderRecord h;
    if (payload.size() < 12 || !h.copyFrom({payload.data(), payload.size()}) ||
        h.command != kManagement || h.subcommand != CapiSubcommand::Req)
        return std::nullopt;
    Management m;
    m.applId = h.applId;
    switch (payload[11]) {
    case 0x00:
        m.kind = Management::Kind::Register;
        if (payload.size() >= 20) {
            m.maxLogicalConnection = readWord(payload.data() + 14);
            m.maxBDataBlocks = readWord(payload.data() + 16);
            m.maxBDataLen = readWord(payload.data() + 18);
        }
        break;
    case 0x01:
        m.kind = Management::Kind::Release;
        break;
    case 0x02:
        m.kind = Management::Kind::Profile;
        if (payload.size() >= 16)
            m.controller = readWord(payload.data() + 14);
        break;
    default:
        m.kind = Management::Kind::Unknown;
        break;
    }
    return m;
}

Bytes registerReply(std::uint16_t applId, std::uint16_t error)
{
    // The library reads the ApplID at offset 2 and an error word at offset 16.
    Bytes body = managementHeader(18, applId);
    writeWord(body.data() + 16, error);
    return withTwoByteHeader(body);
}

Bytes profileReply(std::uint16_t controller)
{
    // The library copies a 64-byte profile from offset 18.
    Bytes body = managementHeader(18 + 64, 0);
    body[8] = 0x02;
    body[10] = static_cast<std::uint8_t>(controller);
    body[18] = 1; // controllers
    body[20] = 2; // B channels
    return withTwoByteHeader(body);
}

Bytes message(std::uint8_t command, std::uint8_t subcommand, const Bytes &parameters)
{
    return CapiMessageWriter(command, subcommand).bytes(parameters).take();
}

Bytes connectParameters(const ConnectSpec &s)
{
    Bytes b;
    if (s.calledRaw)
        b.insert(b.end(), s.calledRaw->begin(), s.calledRaw->end());
    else
        appendStructure(b, digitsAfter({s.calledTon}, s.called));
    if (s.callingRaw)
        b.insert(b.end(), s.callingRaw->begin(), s.callingRaw->end());
    else
        appendStructure(b, digitsAfter({s.ton, s.pi}, s.calling));
    if (s.restRaw)
        b.insert(b.end(), s.restRaw->begin(), s.restRaw->end());
    else // Subaddresses, BC, LLC, HLC, Additional Info, Second calling party number.
        b.insert(b.end(), 7, 0);
    return b;
}

Bytes connectInd(const ConnectSpec &s)
{
    return CapiMessageWriter(CapiCommand::Connect, CapiSubcommand::Ind)
        .dword(s.plci)
        .word(s.cip)
        .bytes(connectParameters(s))
        .take();
}

Bytes disconnectInd(std::uint32_t plci, std::uint16_t reason)
{
    return CapiMessageWriter(CapiCommand::Disconnect, CapiSubcommand::Ind)
        .dword(plci)
        .word(reason)
        .take();
}

Bytes infoInd(std::uint32_t plci, std::uint16_t infoNumber)
{
    return CapiMessageWriter(CapiCommand::Info, CapiSubcommand::Ind)
        .dword(plci)
        .word(infoNumber)
        .structure() // Info element
        .take();
}

Bytes listenConf(std::uint16_t applId, std::uint16_t number, std::uint32_t controller,
                 std::uint16_t info)
{
    return CapiMessageWriter(CapiCommand::Listen, CapiSubcommand::Conf, applId, number)
        .dword(controller)
        .word(info)
        .take();
}

Bytes alertConf(std::uint16_t applId, std::uint16_t number, std::uint32_t plci, std::uint16_t info)
{
    return CapiMessageWriter(CapiCommand::Alert, CapiSubcommand::Conf, applId, number)
        .dword(plci)
        .word(info)
        .take();
}

Bytes dataB3Ind(std::uint32_t ncci, std::uint16_t total, std::uint16_t dataLength,
                std::uint16_t handle, std::size_t dataBytes)
{
    Bytes b = CapiMessageWriter(kDataB3, CapiSubcommand::Ind)
                  .dword(ncci)
                  .dword(0) // Data
                  .word(dataLength)
                  .word(handle)
                  .word(0)  // Flags
                  .zeros(8) // Data64
                  .take();
    b.resize(std::max<std::size_t>(total, HeaderOffset::Size), 0);
    writeWord(b.data() + HeaderOffset::TotalLength, total);
    b.insert(b.end(), dataBytes, 0x55);
    return b;
}

void setHeader(Bytes &message, std::uint16_t applId, std::uint16_t number)
{
    if (message.size() >= HeaderOffset::Size)
        setHeaderIds(message, applId, number);
}

std::string commandName(std::uint8_t command, std::uint8_t subcommand)
{
    static const std::map<std::uint8_t, const char *> commands = {
        {0x01, "ALERT"},
        {0x02, "CONNECT"},
        {0x03, "CONNECT_ACTIVE"},
        {0x04, "DISCONNECT"},
        {0x05, "LISTEN"},
        {0x08, "INFO"},
        {0x41, "SELECT_B_PROTOCOL"},
        {0x80, "FACILITY"},
        {0x82, "CONNECT_B3"},
        {0x83, "CONNECT_B3_ACTIVE"},
        {0x84, "DISCONNECT_B3"},
        {0x86, "DATA_B3"},
        {0x87, "RESET_B3"},
        {0x88, "CONNECT_B3_T90_ACTIVE"},
        {0xff, "MANUFACTURER"},
    };
    static const std::map<std::uint8_t, const char *> subcommands = {
        {CapiSubcommand::Req, "REQ"},
        {CapiSubcommand::Conf, "CONF"},
        {CapiSubcommand::Ind, "IND"},
        {CapiSubcommand::Resp, "RESP"},
    };
    const auto c = commands.find(command);
    const auto s = subcommands.find(subcommand);
    if (c == commands.end() || s == subcommands.end()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "CMD_%02X_%02X", command, subcommand);
        return buf;
    }
    return std::string(c->second) + "_" + s->second;
}

Decoded decode(const Bytes &p)
{
    Decoded d;
    if (const auto m = parseManagement(p)) {
        switch (m->kind) {
        case Management::Kind::Register:
            d.name = "REGISTER";
            d.fields = {{"maxlc", dec(m->maxLogicalConnection)},
                        {"maxbb", dec(m->maxBDataBlocks)},
                        {"maxbl", dec(m->maxBDataLen)}};
            break;
        case Management::Kind::Release:
            d.name = "RELEASE";
            d.fields = {{"appl", dec(m->applId)}};
            break;
        case Management::Kind::Profile:
            d.name = "PROFILE";
            d.fields = {{"ctrl", dec(m->controller)}};
            break;
        case Management::Kind::Unknown:
            d.name = "MANAGEMENT";
            d.fields = {{"function", hexWord(p[11])}};
            break;
        }
        return d;
    }
    if (p.size() < HeaderOffset::Size) {
        d.name = "SHORT";
        d.fields = {{"size", dec(static_cast<std::uint32_t>(p.size()))}};
        return d;
    }
    HeaderRecord h;
    h.copyFrom({p.data(), p.size()});
    d.name = commandName(h.command, h.subcommand);
    d.fields = {{"appl", dec(h.applId)}, {"msg", dec(h.messageNumber)}};
    const auto dword = [&](std::size_t offset) { return readDword(p.data() + offset); };
    if (d.name == "LISTEN_REQ" && p.size() >= ListenReqOffset::CipMask2 + 4) {
        d.fields.emplace_back("ctrl", dec(dword(ListenReqOffset::Controller)));
        d.fields.emplace_back("info", hexWord(dword(ListenReqOffset::InfoMask)));
        d.fields.emplace_back("cip", hexWord(dword(ListenReqOffset::CipMask)));
        d.fields.emplace_back("cip2", hexWord(dword(ListenReqOffset::CipMask2)));
    } else if (p.size() >= PlciOffset::Plci + 4) {
        // Every other message the program sends names its call first.
        d.fields.emplace_back("plci", hexWord(dword(PlciOffset::Plci)));
        if (d.name == "CONNECT_RESP" && p.size() >= 14)
            d.fields.emplace_back("reject", dec(readWord(p.data() + 12)));
    }
    const std::uint16_t total = readWord(p.data() + HeaderOffset::TotalLength);
    d.fields.emplace_back("len", dec(total));
    if (total != p.size())
        d.fields.emplace_back("size", dec(static_cast<std::uint32_t>(p.size())));
    return d;
}

std::string hexWord(std::uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", value);
    return buf;
}

} // namespace capisim
