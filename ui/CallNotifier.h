#pragma once

#include <cstdint>
#include <string>

/// What the address books say of a caller: the name, else the place; the number written
/// the national way ("030 1234567").
struct CallerDetails
{
    std::string name;
    std::string place;
    std::string number;
};

/// Tells the desktop of incoming calls, one notification per call.
class CallNotifier
{
public:
    virtual ~CallNotifier() = default;
    /// A call arrived. callKey is unique per call in this run (line ids are reused);
    /// caller as the grid shows it, msn the called own number, time as the grid shows it.
    virtual void callArrived(std::uint64_t callKey, const std::string &caller,
                             const std::string &msn, const std::string &time) = 0;
    /// A call arrived from a caller the address books were asked about; a notifier that
    /// cannot show more tells it as callArrived.
    virtual void callArrivedFrom(std::uint64_t callKey, const std::string &caller,
                                 const std::string &msn, const std::string &time,
                                 const CallerDetails &details)
    {
        (void)details;
        callArrived(callKey, caller, msn, time);
    }
    /// The call of callKey ended with the handling text; replaces its notification.
    virtual void callEnded(std::uint64_t callKey, const std::string &handling) = 0;
};
