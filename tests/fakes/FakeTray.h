#pragma once

#include "ui/Tray.h"
#include "ui/TrayRecord.h"

#include <string>
#include <vector>

/// Records every tray call; the icon counts as shown between add and remove.
class FakeTray final : public Tray
{
public:
    bool available = true;
    std::vector<std::string> calls; // "add:<tip>", "modify:<tip>", "remove"
    std::vector<std::string> messages;
    std::function<void(int)> callback;

    void add(const TrayRecord &record) override
    {
        calls.push_back("add:" + record.szTip);
        m_shown = available;
    }
    void modify(const TrayRecord &record) override
    {
        calls.push_back("modify:" + record.tooltipText());
    }
    void remove(const TrayRecord &) override
    {
        calls.push_back("remove");
        m_shown = false;
    }
    bool isIconShown() const override { return m_shown; }
    void showMessage(std::string_view title, std::string_view text) override
    {
        messages.push_back(std::string(title) + ": " + std::string(text));
    }
    void setCallback(std::function<void(int code)> cb) override { callback = std::move(cb); }

private:
    bool m_shown = false;
};
