#pragma once

#include <string>
#include <vector>

/// The phonebook's settings, read by the program from its settings file and handed over
/// as plain values.
struct PhonebookConfig
{
    /// vCard files and folders in the order they are asked ("~/" already expanded).
    std::vector<std::string> vcardPaths;
    /// The router's phonebooks are a source (after every vCard source).
    bool router = false;
    /// Own area code ("030"); empty: the router's, if it is a source.
    std::string areaCode;
    /// Own country code without '+'; empty: the router's, else 49.
    std::string countryCode;

    /// True when anything is configured: without a source or a country code nothing
    /// the program shows changes, places included.
    bool isEnabled() const { return !vcardPaths.empty() || router || !countryCode.empty(); }

    /// path with a leading "~/" (or a lone "~") replaced by home.
    static std::string expandHome(const std::string &path, const std::string &home);
};
