#pragma once

#include <string>

/// The desktop's handler of tel: links (a softphone, a phone linked through KDE Connect).
class TelHandler
{
public:
    virtual ~TelHandler() = default;
    /// Whether the desktop has a handler, as last found out; never waits for the answer.
    virtual bool isAvailable() const = 0;
    /// Asks again whether there is one (a handler may have been installed meanwhile).
    virtual void recheck() = 0;
    /// Hands the link ("tel:+49…") to the handler.
    virtual void open(const std::string &uri) = 0;
};
