#pragma once

#include <string>

/// Tells the desktop when no call can arrive for long, one notification per outage.
class LineNotifier
{
public:
    virtual ~LineNotifier() = default;
    /// The line has been down for long: a notification that stays, why as its body.
    virtual void lineDown(const std::string &why) = 0;
    /// The line is back: the down notification, if any, is replaced by "Wieder verbunden"
    /// with line (which line it is) as its body, expiring after 10 s.
    virtual void lineBack(const std::string &line) = 0;
};
