#pragma once

#include <string>
#include <string_view>

/// Phone numbers as the call list compares and calls them back. Only numbers count: a
/// text with anything but digits, blanks, "+", "-", "/" and brackets (a withheld caller's
/// "Unbekannt", an internal "**610") is none.
namespace CallNumber {

/// The number's digits, with a German country prefix "+49" or "0049" written as the
/// trunk prefix "0" (so "+49 30 1234" and "030/1234" give "0301234"); empty for no number.
std::string digits(std::string_view text);

/// The tel: link that calls the number back, "tel:+49301234" for "030 1234"; a number
/// without any prefix is passed on as it is (the phone dials it locally). Empty for a
/// withheld or missing caller.
std::string callBackUri(std::string_view caller);

} // namespace CallNumber
