#include "capi/CallDecoding.h"

#include <array>
#include <optional>

namespace {

/// The parameter text by 1-based position; a position that did not arrive is absent.
/// Its kParamChars (100) bytes hold the called and the calling party number, which come
/// first and are all that is read; digits beyond them are cut.
class ParamText
{
public:
    explicit ParamText(const ConnectIndRecord &r)
        : m_record(r), m_count(std::min(r.paramCount, ConnectIndRecord::kParamChars))
    {}
    std::optional<std::uint8_t> at(std::size_t pos) const
    {
        if (pos < 1 || pos > m_count)
            return std::nullopt;
        return m_record.params[pos - 1];
    }
    /// Up to n characters from pos, as far as they arrived.
    std::string digits(std::size_t pos, std::size_t n) const
    {
        std::string out;
        for (std::size_t k = pos; k < pos + n; ++k) {
            const auto c = at(k);
            if (!c)
                break;
            out += safeDigit(*c);
        }
        return out;
    }

private:
    const ConnectIndRecord &m_record;
    std::size_t m_count;
};

std::string withheldCaller(std::uint8_t ton, std::uint8_t presentation)
{
    if ((presentation & 0x60) != 0x20) // presentation not restricted
        return {};
    if ((ton & 0x0F) == 1)
        return "ISDN Hidden";
    if (ton == 0)
        return "Unbekannt";
    // The word, its blank, and the number written with a blank in place of a plus sign.
    return "HideCode  " + std::to_string(ton);
}

} // namespace

DecodedCall decodeConnectInd(const ConnectIndRecord &record)
{
    const ParamText text(record);
    DecodedCall call;

    const std::size_t c = text.at(1).value_or(0);
    if (c >= 1)
        call.msn = text.digits(3, c - 1);

    const auto h = text.at(c + 2);
    if (!h || *h == 0) {
        call.caller = "Error";
    } else if (*h <= 2) {
        call.caller = withheldCaller(text.at(c + 3).value_or(0), text.at(c + 4).value_or(0));
    } else {
        call.caller = text.digits(c + 5, *h - 2u);
    }

    // National and international numbers arrive without their prefix zero.
    if (!call.caller.empty() && call.caller[0] >= '1' && call.caller[0] <= '9')
        call.caller.insert(call.caller.begin(), '0');
    return call;
}

std::string handlingText(std::int16_t reason)
{
    switch (static_cast<std::uint16_t>(reason)) {
    case 0x3304:
        return "Angenommen am Computer";
    case 0x3490:
        return "Anrufer hat aufgelegt";
    case 0x349A:
        return "Angenommen am S0-Bus";
    case 0x349F:
        return "Anruf umgeleitet";
    case 0x34E6:
        return "Abbruch durch VSt";
    default:
        return std::to_string(reason);
    }
}
