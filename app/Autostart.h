#pragma once

#include <string>

/// Whether the session starts the program: the installed autostart entry starts it unless
/// the user's own entry of the same name hides it (Hidden=true), as the XDG autostart rules
/// say. Only that override is ever written or removed; the installed entry is not touched.
class Autostart
{
public:
    /// $XDG_CONFIG_HOME/autostart/<appId>.desktop, ~/.config when XDG_CONFIG_HOME is unset.
    static std::string overridePath(const std::string &appId);

    explicit Autostart(std::string overridePath) : m_path(std::move(overridePath)) {}

    /// False while the override hides the entry.
    bool isEnabled() const;
    /// On removes the override, off writes it (with its folder); "" or what went wrong.
    std::string setEnabled(bool on) const;

private:
    std::string m_path;
};
