#include "ui/PopupMenu.h"

#include <QPoint>

PopupMenu::PopupMenu(QWidget *parent) : QMenu(QStringLiteral("PopUp"), parent)
{
    setObjectName(QStringLiteral("mnuPopUp"));

    m_anzeigen = addAction(QStringLiteral("&Anrufliste anzeigen"));
    m_anzeigen->setObjectName(QStringLiteral("mnuAnzeigen"));
    // The default item is drawn bold; not every style does that for defaultAction().
    QFont bold = m_anzeigen->font();
    bold.setBold(true);
    m_anzeigen->setFont(bold);
    setDefaultAction(m_anzeigen);

    m_einstellungen = addAction(QStringLiteral("&Einstellungen…"));
    m_einstellungen->setObjectName(QStringLiteral("mnuEinstellungen"));

    m_sep = addSeparator();
    m_sep->setObjectName(QStringLiteral("mnuSep"));

    m_beenden = addAction(QStringLiteral("&Beenden"));
    m_beenden->setObjectName(QStringLiteral("mnuBeenden"));
}

void PopupMenu::popUpAt(const QPoint &pos)
{
    if (isVisible())
        return;
    // Never exec(): a StatusNotifierItem host waits for its ContextMenu call to return,
    // and a nested modal loop would hold the reply until the menu closed.
    popup(pos);
}

void PopupMenu::showEvent(QShowEvent *event)
{
    QMenu::showEvent(event);
    // Open with the default item highlighted, so that Return chooses it.
    setActiveAction(defaultAction());
}
