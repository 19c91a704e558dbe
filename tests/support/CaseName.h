#pragma once

#include <cctype>
#include <string>
#include <string_view>

/// A test name from a case's describing text: letters and digits kept, anything else '_'.
/// Without a name, GoogleTest prints a case's bytes, padding included, so the names would
/// change from build to build.
inline std::string caseName(std::string_view text)
{
    std::string out;
    for (const char ch : text)
        out += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return out;
}

/// Names each case of a parameterised suite by its describing member, e.g.
/// INSTANTIATE_TEST_SUITE_P(Table, Suite, Values(...), NameBy<&Case::name>{}).
template<auto Member> struct NameBy
{
    template<class Info> std::string operator()(const Info &info) const
    {
        return caseName(info.param.*Member);
    }
};
