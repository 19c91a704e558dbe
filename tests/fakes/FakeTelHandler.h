#pragma once

#include "ui/TelHandler.h"

#include <string>
#include <vector>

/// A tel: handler that is there or not, and records the links it was handed.
class FakeTelHandler final : public TelHandler
{
public:
    bool available = true;
    int rechecks = 0;
    std::vector<std::string> opened;

    bool isAvailable() const override { return available; }
    void recheck() override { ++rechecks; }
    void open(const std::string &uri) override { opened.push_back(uri); }
};
