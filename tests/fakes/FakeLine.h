#pragma once

#include "line/Line.h"

#include <string>
#include <vector>

/// A line that only records what is asked of it ("start NAME", "stop NAME") into a log
/// shared with the other fake lines of a test; the test raises its events through events.
class FakeLine final : public Line
{
public:
    FakeLine(std::string lineName, std::vector<std::string> &log)
        : name(std::move(lineName)), m_log(log)
    {}

    void setCallEvents(CallEvents *e) override { events = e; }
    void start() override { m_log.push_back("start " + name); }
    void tick() override {}
    void stop() override { m_log.push_back("stop " + name); }
    std::string description() const override { return name; }
    std::string downText() const override { return "Keine Verbindung zu " + name; }

    std::string name;
    CallEvents *events = nullptr;

private:
    std::vector<std::string> &m_log;
};
