#pragma once

#include "ui/CallHistory.h"
#include "ui/CallViews.h"

#include <string>
#include <vector>

/// View operations on a plain CallHistory, with every call recorded in order.
class RecordingViews final : public CallViews
{
public:
    CallHistory history;
    std::vector<std::string> calls; // "GridInsertTop:<line>", ...
    std::string label;

    void SetupCallGrid() override { calls.emplace_back("SetupCallGrid"); }
    void GridInsertTop(std::string_view line) override
    {
        calls.push_back("GridInsertTop:" + std::string(line));
        history.insertTop(line);
    }
    void GridSetHandling(int row, std::string_view text) override
    {
        calls.push_back("GridSetHandling:" + std::to_string(row) + ":" + std::string(text));
        history.setHandling(row - 1, text);
    }
    int GridRowCount() const override { return history.rowCount() + 1; }
    void GridRemoveLast() override
    {
        calls.emplace_back("GridRemoveLast");
        history.removeLast();
    }
    void ListAppendLine(std::string_view line) override
    {
        calls.push_back("ListAppendLine:" + std::string(line));
        history.appendItem(line);
    }
    void ListReplaceItem(int index, std::string_view line) override
    {
        calls.push_back("ListReplaceItem:" + std::to_string(index) + ":" + std::string(line));
        history.replaceItem(index, line);
    }
    int ListCount() const override { return history.itemCount(); }
    void ShowCallCount(int count) override
    {
        calls.push_back("ShowCallCount:" + std::to_string(count));
        label = "Anrufe seit dem letzten Start: " + std::to_string(count);
    }
    void RestoreWindow() override { calls.emplace_back("RestoreWindow"); }

    /// Grid row r (1 = top call row) as its line.
    std::string row(int r) const { return std::string(history.rowText(r - 1)); }
    std::string item(int i) const { return std::string(history.item(i)); }
};
