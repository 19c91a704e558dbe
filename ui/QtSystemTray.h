#pragma once

#include "Tray.h"

#include <QIcon>
#include <QObject>
#include <memory>

class QSystemTrayIcon;

/// The tray through QSystemTrayIcon (XEmbed trays and StatusNotifierItem hosts).
class QtSystemTray final : public QObject, public Tray
{
    Q_OBJECT
public:
    explicit QtSystemTray(QIcon icon, QObject *parent = nullptr);
    ~QtSystemTray() override;

    void add(const TrayRecord &record) override;
    void modify(const TrayRecord &record) override;
    void remove(const TrayRecord &record) override;
    bool isIconShown() const override;
    void showMessage(std::string_view title, std::string_view text) override;
    void setCallback(std::function<void(int code)> callback) override;

private:
    QIcon m_icon;
    QSystemTrayIcon *m_icon_item = nullptr;
    std::function<void(int)> m_callback;
};
