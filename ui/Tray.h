#pragma once

#include <functional>
#include <string_view>

struct TrayRecord;

/// The desktop's notification area.
class Tray
{
public:
    /// Mouse message codes delivered through the callback.
    enum MouseCode : int {
        MouseMove = 0x200,
        LeftButtonDown = 0x201,
        LeftButtonUp = 0x202,
        LeftDoubleClick = 0x203,
        RightButtonDown = 0x204,
        RightButtonUp = 0x205,
        RightDoubleClick = 0x206,
        MiddleButtonDown = 0x207,
        MiddleButtonUp = 0x208,
        MiddleDoubleClick = 0x209,
    };

    virtual ~Tray() = default;
    /// Shows the icon with the record's tooltip.
    virtual void add(const TrayRecord &record) = 0;
    /// Takes the record's tooltip.
    virtual void modify(const TrayRecord &record) = 0;
    /// Removes the icon.
    virtual void remove(const TrayRecord &record) = 0;
    /// True while the desktop offers a notification area and the icon is shown there.
    virtual bool isIconShown() const = 0;
    /// A short balloon message (used for failures the user must hear about); nothing
    /// without a tray, so the caller tells stderr as well.
    virtual void showMessage(std::string_view title, std::string_view text) = 0;
    /// Receives the mouse message code of every activation of the icon.
    virtual void setCallback(std::function<void(int code)> callback) = 0;
};
