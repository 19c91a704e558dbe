#pragma once

#include "ui/CallNotifier.h"

#include <string>
#include <vector>

/// Records what it was told: "arrived:<key>:<caller>:<msn>:<time>", "ended:<key>:<handling>".
class FakeNotifier final : public CallNotifier
{
public:
    std::vector<std::string> calls;

    void callArrived(std::uint64_t callKey, const std::string &caller, const std::string &msn,
                     const std::string &time) override
    {
        calls.push_back("arrived:" + std::to_string(callKey) + ":" + caller + ":" + msn + ":" +
                        time);
    }
    void callEnded(std::uint64_t callKey, const std::string &handling) override
    {
        calls.push_back("ended:" + std::to_string(callKey) + ":" + handling);
    }
};
