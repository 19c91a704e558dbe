#pragma once

#include "line/CallEvents.h"

#include <string>
#include <vector>

/// Every call event as one line of text, in order: "ring 1 caller msn", "clear 1 text",
/// "up", "lost".
class RecordingCallEvents final : public CallEvents
{
public:
    std::vector<std::string> events;

    void onIncomingCall(const IncomingCall &c) override
    {
        events.push_back("ring " + std::to_string(c.id) + " " + c.caller + " " + c.msn);
    }
    void onCallCleared(const CallCleared &c) override
    {
        events.push_back("clear " + std::to_string(c.id) + " " + c.handling);
    }
    void onLineUp() override { events.push_back("up"); }
    void onLineLost() override { events.push_back("lost"); }

    std::vector<std::string> take()
    {
        auto out = std::move(events);
        events.clear();
        return out;
    }
};
