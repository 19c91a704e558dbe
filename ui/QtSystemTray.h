#pragma once

#include "ui/Tray.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <optional>

class QMenu;

/// The tray through QSystemTrayIcon (XEmbed trays and StatusNotifierItem hosts).
class QtSystemTray final : public QObject, public Tray
{
    Q_OBJECT
public:
    /// lineDownIcon is shown while the record's lineDown is set; icon otherwise.
    explicit QtSystemTray(QIcon icon, QIcon lineDownIcon = QIcon(), QObject *parent = nullptr);
    ~QtSystemTray() override;

    void add(const TrayRecord &record) override;
    void modify(const TrayRecord &record) override;
    void remove(const TrayRecord &record) override;
    bool isIconShown() const override;
    void showMessage(std::string_view title, std::string_view text) override;
    void setCallback(std::function<void(int code)> callback) override;

    /// The menu for the icon. StatusNotifierItem hosts draw it themselves; an XEmbed
    /// icon pops it at the press before it reports the right click.
    void setContextMenu(QMenu *menu);

    /// The mouse message code that an activation stands for, if any.
    static std::optional<int> mouseCode(QSystemTrayIcon::ActivationReason reason);
    /// The tooltip as the XEmbed icon's tooltip label gets it: markup that shows exactly
    /// the characters of text. Given as it is, Qt would take a caller "<b>x</b>" or
    /// "<img src=...>" from the line for markup of its own.
    static QString literalToolTip(const QString &text);
    /// base with a badge of count in its lower right corner ("9+" above nine) in every
    /// size base has; base itself for 0.
    static QIcon withBadge(const QIcon &base, int count);
    /// The icon that shows the record's state.
    QIcon iconFor(const TrayRecord &record) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void show(const TrayRecord &record);

    QIcon m_icon;
    QIcon m_lineDownIcon;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QPointer<QMenu> m_menu;
    std::function<void(int)> m_callback;
    /// What the icon shown was made for, so an unchanged one is not sent to the tray again.
    int m_shownBadge = 0;
    bool m_shownLineDown = false;
};
