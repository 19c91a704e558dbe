#pragma once

#include <cstdint>
#include <string>

/// Tells the desktop of incoming calls, one notification per call.
class CallNotifier
{
public:
    virtual ~CallNotifier() = default;
    /// A call arrived. callKey is unique per call in this run (line ids are reused);
    /// caller as the grid shows it, msn the called own number, time as the grid shows it.
    virtual void callArrived(std::uint64_t callKey, const std::string &caller,
                             const std::string &msn, const std::string &time) = 0;
    /// The call of callKey ended with the handling text; replaces its notification.
    virtual void callEnded(std::uint64_t callKey, const std::string &handling) = 0;
};
