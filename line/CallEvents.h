#pragma once

#include <cstdint>
#include <string>

/// An incoming call as a line reports it. The texts are already safe for a CallLine field
/// (see FieldText.h); the call handling adds date and time from its own clock.
struct IncomingCall
{
    std::uint32_t id = 0; // the line's identity of the call (CAPI: the PLCI)
    std::string caller;   // the caller's number, or a substitute text when withheld
    std::string msn;      // the called own number; empty when the line did not say
};

/// The end of a call the line reported before.
struct CallCleared
{
    std::uint32_t id = 0;
    std::string handling; // how the call ended, as the log shows it
};

/// What a line tells the call handling. Every method runs on the UI thread.
class CallEvents
{
public:
    virtual ~CallEvents() = default;
    virtual void onIncomingCall(const IncomingCall &call) = 0;
    virtual void onCallCleared(const CallCleared &clearing) = 0;
    /// The line listens for calls (again).
    virtual void onLineUp() = 0;
    /// The line is gone: calls open on it will never be cleared by it.
    virtual void onLineLost() = 0;
};
