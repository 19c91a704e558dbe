#pragma once

#include <optional>
#include <string>
#include <string_view>

/// Turns saved numbers and callers into E.164 keys ("+49301234567") with libphonenumber,
/// for the own country and area code. What is not a phone number (internal numbers with
/// '*' or '#', SIP addresses, withheld texts, empty values) gives no key.
class NumberKeys
{
public:
    /// A key and how it was made.
    struct Key
    {
        std::string e164;
        bool withAreaCode = false; // a local number that got the own area code in front
        bool switchboard = false;  // saved with a trailing "-0": a prefix of direct dials
    };

    /// areaCode as dialled at home ("030"; may be empty), countryCode without '+' ("49").
    NumberKeys(std::string areaCode, std::string countryCode);

    /// The key of a number as an address book saved it.
    std::optional<Key> savedKey(std::string_view number) const;
    /// The key of a caller as the line sent it; a call-by-call prefix is dropped first.
    std::optional<Key> callerKey(std::string_view caller) const;

    /// A key written the national way ("030 1234567"), or international for a foreign one.
    std::string formatNational(const std::string &e164) const;
    /// The place of a key in German: the town of a fixed line, "Mobilfunk", "Service-Rufnummer",
    /// the country of a foreign number; empty when none is known.
    std::string place(const std::string &e164) const;

    const std::string &areaCode() const { return m_areaCode; }
    const std::string &countryCode() const { return m_countryCode; }

    /// The key of plain digits ("+" allowed in front) through libphonenumber alone; the
    /// quick rule for the own German numbers must agree with it.
    std::optional<std::string> libraryKey(const std::string &number) const;

private:
    std::optional<Key> key(std::string digits, bool plus) const;
    std::optional<std::string> germanKey(std::string_view digits) const;

    std::string m_areaCode;
    std::string m_countryCode;
    std::string m_region; // the own country's region code ("DE")
};
