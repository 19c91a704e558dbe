#include "tools/capisim/Protocol.h"

#include "base/LittleEndian.h"
#include "capi/CapiMessage.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace capisim {

namespace {

Bytes header(std::uint8_t command, std::uint8_t subcommand)
{
    return Bytes{0, 0, 0, 0, command, subcommand, 0, 0};
}

Bytes &finish(Bytes &b)
{
    writeWord(b.data(), static_cast<std::uint16_t>(b.size()));
    return b;
}

void appendDigits(Bytes &b, const std::string &digits)
{
    b.insert(b.end(), digits.begin(), digits.end());
}

std::string dec(std::uint32_t v)
{
    return std::to_string(v);
}

// Management replies start with the request's header turned into a confirmation.
Bytes managementHeader(std::size_t length, std::uint16_t applId)
{
    Bytes b(length, 0);
    b[0] = static_cast<std::uint8_t>(length);
    writeWord(b.data() + 2, applId);
    b[4] = 0x20;
    b[5] = 0x81;
    b[6] = 0x01;
    return b;
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
    if (payload.size() < 12 || payload[4] != 0x20 || payload[5] != 0x80)
        return std::nullopt;
    Management m;
    m.applId = readWord(payload.data() + 2);
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
    Bytes b = header(command, subcommand);
    b.insert(b.end(), parameters.begin(), parameters.end());
    return finish(b);
}

Bytes connectParameters(const ConnectSpec &s)
{
    Bytes b;
    if (s.calledRaw) {
        b.insert(b.end(), s.calledRaw->begin(), s.calledRaw->end());
    } else {
        b.push_back(static_cast<std::uint8_t>(s.called.size() + 1));
        b.push_back(s.calledTon);
        appendDigits(b, s.called);
    }
    if (s.callingRaw) {
        b.insert(b.end(), s.callingRaw->begin(), s.callingRaw->end());
    } else {
        b.push_back(static_cast<std::uint8_t>(s.calling.size() + 2));
        b.push_back(s.ton);
        b.push_back(s.pi);
        appendDigits(b, s.calling);
    }
    if (s.restRaw) {
        b.insert(b.end(), s.restRaw->begin(), s.restRaw->end());
    } else {
        // Subaddresses, BC, LLC, HLC, Additional Info, Second calling party number.
        b.insert(b.end(), 7, 0);
    }
    return b;
}

Bytes connectInd(const ConnectSpec &s)
{
    Bytes parameters;
    appendDword(parameters, s.plci);
    appendWord(parameters, s.cip);
    const Bytes numbers = connectParameters(s);
    parameters.insert(parameters.end(), numbers.begin(), numbers.end());
    return message(CapiCommand::Connect, CapiSubcommand::Ind, parameters);
}

Bytes disconnectInd(std::uint32_t plci, std::uint16_t reason)
{
    Bytes b = header(CapiCommand::Disconnect, CapiSubcommand::Ind);
    appendDword(b, plci);
    appendWord(b, reason);
    return finish(b);
}

Bytes infoInd(std::uint32_t plci, std::uint16_t infoNumber)
{
    Bytes b = header(CapiCommand::Info, CapiSubcommand::Ind);
    appendDword(b, plci);
    appendWord(b, infoNumber);
    b.push_back(0); // empty Info element
    return finish(b);
}

Bytes listenConf(std::uint16_t applId, std::uint16_t number, std::uint32_t controller,
                 std::uint16_t info)
{
    Bytes b = header(CapiCommand::Listen, CapiSubcommand::Conf);
    appendDword(b, controller);
    appendWord(b, info);
    finish(b);
    setHeader(b, applId, number);
    return b;
}

Bytes alertConf(std::uint16_t applId, std::uint16_t number, std::uint32_t plci, std::uint16_t info)
{
    Bytes b = header(CapiCommand::Alert, CapiSubcommand::Conf);
    appendDword(b, plci);
    appendWord(b, info);
    finish(b);
    setHeader(b, applId, number);
    return b;
}

Bytes dataB3Ind(std::uint32_t ncci, std::uint16_t total, std::uint16_t dataLength,
                std::uint16_t handle, std::size_t dataBytes)
{
    Bytes b = header(0x86, 0x82);
    appendDword(b, ncci);
    appendDword(b, 0);
    appendWord(b, dataLength);
    appendWord(b, handle);
    appendWord(b, 0);
    b.insert(b.end(), 8, 0);
    b.resize(std::max<std::size_t>(total, 8), 0);
    writeWord(b.data(), total);
    b.insert(b.end(), dataBytes, 0x55);
    return b;
}

void setHeader(Bytes &message, std::uint16_t applId, std::uint16_t number)
{
    if (message.size() < 8)
        return;
    writeWord(message.data() + 2, applId);
    writeWord(message.data() + 6, number);
}

std::string commandName(std::uint8_t command, std::uint8_t subcommand)
{
    const char *c = nullptr;
    switch (command) {
    case 0x01:
        c = "ALERT";
        break;
    case 0x02:
        c = "CONNECT";
        break;
    case 0x03:
        c = "CONNECT_ACTIVE";
        break;
    case 0x04:
        c = "DISCONNECT";
        break;
    case 0x05:
        c = "LISTEN";
        break;
    case 0x08:
        c = "INFO";
        break;
    case 0x41:
        c = "SELECT_B_PROTOCOL";
        break;
    case 0x80:
        c = "FACILITY";
        break;
    case 0x82:
        c = "CONNECT_B3";
        break;
    case 0x83:
        c = "CONNECT_B3_ACTIVE";
        break;
    case 0x84:
        c = "DISCONNECT_B3";
        break;
    case 0x86:
        c = "DATA_B3";
        break;
    case 0x87:
        c = "RESET_B3";
        break;
    case 0x88:
        c = "CONNECT_B3_T90_ACTIVE";
        break;
    case 0xff:
        c = "MANUFACTURER";
        break;
    default:
        break;
    }
    const char *s = nullptr;
    switch (subcommand) {
    case 0x80:
        s = "REQ";
        break;
    case 0x81:
        s = "CONF";
        break;
    case 0x82:
        s = "IND";
        break;
    case 0x83:
        s = "RESP";
        break;
    default:
        break;
    }
    if (!c || !s) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "CMD_%02X_%02X", command, subcommand);
        return buf;
    }
    return std::string(c) + "_" + s;
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
    if (p.size() < 8) {
        d.name = "SHORT";
        d.fields = {{"size", dec(static_cast<std::uint32_t>(p.size()))}};
        return d;
    }
    d.name = commandName(p[4], p[5]);
    d.fields = {{"appl", dec(readWord(p.data() + 2))}, {"msg", dec(readWord(p.data() + 6))}};
    if (d.name == "LISTEN_REQ" && p.size() >= 24) {
        d.fields.emplace_back("ctrl", dec(readDword(p.data() + 8)));
        d.fields.emplace_back("info", hexWord(readDword(p.data() + 12)));
        d.fields.emplace_back("cip", hexWord(readDword(p.data() + 16)));
        d.fields.emplace_back("cip2", hexWord(readDword(p.data() + 20)));
    } else if (p.size() >= 12) {
        // Every other message the program sends names its call first.
        d.fields.emplace_back("plci", hexWord(readDword(p.data() + 8)));
        if (d.name == "CONNECT_RESP" && p.size() >= 14)
            d.fields.emplace_back("reject", dec(readWord(p.data() + 12)));
    }
    d.fields.emplace_back("len", dec(readWord(p.data() + 0)));
    if (readWord(p.data() + 0) != p.size())
        d.fields.emplace_back("size", dec(static_cast<std::uint32_t>(p.size())));
    return d;
}

std::string hexWord(std::uint32_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", value);
    return buf;
}

std::string toHex(const Bytes &bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3);
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        if (i)
            out += ' ';
        out += buf;
    }
    return out;
}

Bytes fromHex(const std::string &text)
{
    Bytes out;
    int high = -1;
    for (const char ch : text) {
        if (ch == ' ' || ch == '\t' || ch == ':' || ch == ',')
            continue;
        int v = -1;
        if (ch >= '0' && ch <= '9')
            v = ch - '0';
        else if (ch >= 'a' && ch <= 'f')
            v = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F')
            v = ch - 'A' + 10;
        if (v < 0)
            throw std::invalid_argument("not a hex digit: '" + std::string(1, ch) + "'");
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits");
    return out;
}

} // namespace capisim
