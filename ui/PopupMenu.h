#pragma once

#include <QMenu>

class QPoint;

/// mnuPopUp, the tray icon's menu: "&Anrufliste anzeigen" (the default item, bold),
/// "&Einstellungen…", a separator and "&Beenden". The same menu is handed to tray hosts that draw
/// it themselves.
class PopupMenu final : public QMenu
{
    Q_OBJECT
public:
    explicit PopupMenu(QWidget *parent = nullptr);

    QAction *mnuAnzeigen() const { return m_anzeigen; }
    QAction *mnuEinstellungen() const { return m_einstellungen; }
    QAction *mnuSep() const { return m_sep; }
    QAction *mnuBeenden() const { return m_beenden; }

    /// Opens the menu with its left edge at pos and returns at once; the chosen item's
    /// handler runs later from the event loop. Does nothing while the menu is open already
    /// (an XEmbed tray icon pops its context menu itself before it reports the right click).
    void popUpAt(const QPoint &pos);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QAction *m_anzeigen;
    QAction *m_einstellungen;
    QAction *m_sep;
    QAction *m_beenden;
};
