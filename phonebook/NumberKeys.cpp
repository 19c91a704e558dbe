#include "phonebook/NumberKeys.h"

#include <phonenumbers/geocoding/phonenumber_offline_geocoder.h>
#include <phonenumbers/phonenumberutil.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberOfflineGeocoder;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

const PhoneNumberUtil &util()
{
    return *PhoneNumberUtil::GetInstance();
}

/// The digits of a number written with the usual separators, and whether it began with '+';
/// nothing when anything else stands in it (letters of a withheld text, '*', '#', '@').
std::optional<std::pair<std::string, bool>> plainDigits(std::string_view text)
{
    std::string digits;
    bool plus = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            digits += c;
        else if (c == '+' && digits.empty() && !plus)
            plus = true;
        else if (c != ' ' && c != '-' && c != '/' && c != '(' && c != ')' && c != '.' && c != '\t')
            return std::nullopt;
    }
    if (digits.empty())
        return std::nullopt;
    return std::pair{digits, plus};
}

std::optional<PhoneNumber> parse(const std::string &e164)
{
    PhoneNumber number;
    if (util().Parse(e164, "ZZ", &number) != PhoneNumberUtil::NO_PARSING_ERROR)
        return std::nullopt;
    return number;
}

} // namespace

NumberKeys::NumberKeys(std::string areaCode, std::string countryCode)
    : m_areaCode(std::move(areaCode)), m_countryCode(std::move(countryCode))
{
    if (m_countryCode.empty())
        m_countryCode = "49";
    // "30" and "030" both mean the own area code as dialled at home.
    if (!m_areaCode.empty() && m_areaCode.front() != '0')
        m_areaCode.insert(0, "0");
    int code = 0;
    for (const char c : m_countryCode)
        code = c >= '0' && c <= '9' && code < 10000 ? code * 10 + (c - '0') : code;
    util().GetRegionCodeForCountryCode(code, &m_region);
}

std::optional<NumberKeys::Key> NumberKeys::savedKey(std::string_view number) const
{
    bool switchboard = false;
    std::string_view text = number;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.size() > 2 && text.substr(text.size() - 2) == "-0") {
        switchboard = true;
        text.remove_suffix(2);
    }
    const auto digits = plainDigits(text);
    if (!digits)
        return std::nullopt;
    auto result = key(digits->first, digits->second);
    if (result)
        result->switchboard = switchboard;
    return result;
}

std::optional<NumberKeys::Key> NumberKeys::callerKey(std::string_view caller) const
{
    auto digits = plainDigits(caller);
    if (!digits)
        return std::nullopt;
    std::string &d = digits->first;
    // A German call-by-call prefix (010xx, 0100xx) chooses a carrier; it is no part of
    // the number that follows it.
    if (!digits->second && m_countryCode == "49" && d.size() > 6 && d.compare(0, 3, "010") == 0) {
        const std::size_t cut = d[3] == '0' ? 6 : 5;
        if (d.size() > cut && d[cut] == '0')
            d.erase(0, cut);
    }
    return key(std::move(d), digits->second);
}

std::optional<NumberKeys::Key> NumberKeys::key(std::string digits, bool plus) const
{
    Key result;
    if (!plus && digits.front() != '0' && !m_areaCode.empty()) {
        digits.insert(0, m_areaCode);
        result.withAreaCode = true;
    }
    if (plus)
        digits.insert(0, "+");
    if (auto fast = germanKey(digits)) {
        result.e164 = std::move(*fast);
        return result;
    }
    auto parsed = libraryKey(digits);
    if (!parsed)
        return std::nullopt;
    result.e164 = std::move(*parsed);
    return result;
}

std::optional<std::string> NumberKeys::libraryKey(const std::string &number) const
{
    PhoneNumber parsed;
    // Parse is kept even for numbers it calls invalid: old and odd numbers are real.
    if (util().Parse(number, m_region.empty() ? "ZZ" : m_region, &parsed) !=
        PhoneNumberUtil::NO_PARSING_ERROR)
        return std::nullopt;
    std::string e164;
    util().Format(parsed, PhoneNumberUtil::E164, &e164);
    return e164;
}

std::optional<std::string> NumberKeys::germanKey(std::string_view digits) const
{
    // libphonenumber takes some 10-40 us a number, too slow for a lookup per shown row and
    // for 10 000 contacts at start. German numbers in their usual forms (0…, 00 49…, +49…)
    // with 4 to 13 digits after the 0 give the same key by this rule (a test checks it
    // against the library); everything else goes to the library.
    if (m_countryCode != "49")
        return std::nullopt;
    std::string_view nsn;
    if (digits.starts_with("+49"))
        nsn = digits.substr(3);
    else if (digits.starts_with("0049"))
        nsn = digits.substr(4);
    else if (digits.starts_with("0") && !digits.starts_with("00"))
        nsn = digits.substr(1);
    else
        return std::nullopt;
    if (nsn.size() < 4 || nsn.size() > 13 || nsn.front() == '0')
        return std::nullopt;
    return "+49" + std::string(nsn);
}

std::string NumberKeys::formatNational(const std::string &e164) const
{
    const auto number = parse(e164);
    if (!number)
        return e164;
    std::string out;
    const bool own = std::to_string(number->country_code()) == m_countryCode;
    util().Format(*number, own ? PhoneNumberUtil::NATIONAL : PhoneNumberUtil::INTERNATIONAL, &out);
    return out;
}

std::string NumberKeys::place(const std::string &e164) const
{
    const auto number = parse(e164);
    if (!number)
        return {};
    const icu::Locale german("de");
    std::string region;
    util().GetRegionCodeForNumber(*number, &region);
    if (std::to_string(number->country_code()) != m_countryCode) {
        if (region.empty() || region == "ZZ" || region == "001")
            return {};
        icu::UnicodeString name;
        icu::Locale("", region.c_str()).getDisplayCountry(german, name);
        std::string out;
        name.toUTF8String(out);
        return out;
    }
    if (!util().IsValidNumber(*number))
        return {};
    switch (util().GetNumberType(*number)) {
    case PhoneNumberUtil::MOBILE:
        return "Mobilfunk";
    case PhoneNumberUtil::TOLL_FREE:
    case PhoneNumberUtil::SHARED_COST:
        return "Service-Rufnummer";
    default:
        break;
    }
    // Built once: the geocoder loads its tables when made; its lookups lock inside.
    static const PhoneNumberOfflineGeocoder *geocoder = new PhoneNumberOfflineGeocoder;
    const std::string where = geocoder->GetDescriptionForNumber(*number, german, m_region);
    // A number the geocoder can only place in the own country tells nothing new.
    icu::UnicodeString own;
    icu::Locale("", m_region.c_str()).getDisplayCountry(german, own);
    std::string ownName;
    own.toUTF8String(ownName);
    return where == ownName ? std::string() : where;
}
