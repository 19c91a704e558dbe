#include "ui/QtSystemTray.h"

#include "ui/TrayRecord.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <iostream>

namespace {

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QtSystemTray::QtSystemTray(QIcon icon, QIcon lineDownIcon, QObject *parent)
    : QObject(parent), m_icon(std::move(icon)), m_lineDownIcon(std::move(lineDownIcon))
{}

QtSystemTray::~QtSystemTray() = default;

std::optional<int> QtSystemTray::mouseCode(QSystemTrayIcon::ActivationReason reason)
{
    // Qt reports presses and double clicks only; releases and moves never arrive.
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return LeftButtonDown;
    case QSystemTrayIcon::DoubleClick:
        return LeftDoubleClick;
    case QSystemTrayIcon::Context:
        return RightButtonDown;
    case QSystemTrayIcon::MiddleClick:
        return MiddleButtonDown;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return std::nullopt;
}

QString QtSystemTray::literalToolTip(const QString &text)
{
    // Rich text on purpose: only then does the label show the escaped characters as they
    // are; "pre" keeps the TABs and blanks between the fields of a call's row.
    return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

QIcon QtSystemTray::withBadge(const QIcon &base, int count)
{
    if (count <= 0)
        return base;
    const QString text = count > 9 ? QStringLiteral("9+") : QString::number(count);
    QIcon badged;
    for (const QSize &size : base.availableSizes()) {
        QPixmap pixmap = base.pixmap(size);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        // A white-rimmed dark blue disc over the lower right part: it stands out from the
        // red telephone and from light and dark panels alike.
        const qreal d = size.width() * (text.size() > 1 ? 0.75 : 0.62);
        const QRectF disc(size.width() - d, size.height() - d, d, d);
        painter.setPen(QPen(Qt::white, std::max(1.0, size.width() / 16.0)));
        painter.setBrush(QColor(0x10, 0x3c, 0xb4));
        painter.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(std::max(6, static_cast<int>(d * (text.size() > 1 ? 0.55 : 0.75))));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(disc, Qt::AlignCenter, text);
        painter.end();
        badged.addPixmap(pixmap);
    }
    return badged;
}

QIcon QtSystemTray::iconFor(const TrayRecord &record) const
{
    const QIcon &base = record.lineDown && !m_lineDownIcon.isNull() ? m_lineDownIcon : m_icon;
    return withBadge(base, record.missedCount);
}

void QtSystemTray::show(const TrayRecord &record)
{
    m_trayIcon->setToolTip(QString::fromStdString(record.tooltipText()));
    // The badge shows no more than "9+", so the icon changes up to ten.
    // Every setIcon sends the whole pixmap set to the tray again: only when it changes.
    const int badge = std::min(record.missedCount, 10);
    if (badge != m_shownBadge || record.lineDown != m_shownLineDown) {
        m_shownBadge = badge;
        m_shownLineDown = record.lineDown;
        m_trayIcon->setIcon(iconFor(record));
    }
}

bool QtSystemTray::eventFilter(QObject *watched, QEvent *event)
{
    // The XEmbed icon is Qt's own widget, which shows its tooltip by guessing the format.
    // A StatusNotifierItem host gets the text as the item's plain tooltip title instead.
    if (event->type() == QEvent::ToolTip && m_trayIcon && watched->isWidgetType() &&
        (watched->inherits("QSystemTrayIconSys") ||
         watched->objectName() == QLatin1String("QSystemTrayIconSys"))) {
        const auto *help = static_cast<QHelpEvent *>(event);
        QToolTip::showText(help->globalPos(), literalToolTip(m_trayIcon->toolTip()),
                           static_cast<QWidget *>(watched));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void QtSystemTray::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    const auto code = mouseCode(reason);
    if (!code)
        return;
    // A StatusNotifierItem host's Activate or ContextMenu call arrives here inside the D-Bus
    // dispatch: the host waits for its reply, so the handler runs after it has gone out.
    QTimer::singleShot(0, this, [this, c = *code] {
        if (m_callback)
            m_callback(c);
    });
}

void QtSystemTray::add(const TrayRecord &record)
{
    if (!m_trayIcon) {
        m_trayIcon = new QSystemTrayIcon(m_icon, this);
        m_trayIcon->setContextMenu(m_menu);
        connect(m_trayIcon, &QSystemTrayIcon::activated, this, &QtSystemTray::onActivated);
        if (qApp)
            qApp->installEventFilter(this);
    }
    show(record);
    // Shown even while no tray is there: Qt docks the icon when a tray appears later.
    m_trayIcon->show();
}

void QtSystemTray::modify(const TrayRecord &record)
{
    if (m_trayIcon)
        show(record);
}

void QtSystemTray::remove(const TrayRecord &)
{
    if (m_trayIcon)
        m_trayIcon->hide();
}

bool QtSystemTray::isIconShown() const
{
    // Asked afresh each time: the tray may come and go while the program runs.
    return m_trayIcon && m_trayIcon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void QtSystemTray::showMessage(std::string_view title, std::string_view text)
{
    // Without a tray there is no balloon; the caller has told stderr already.
    if (isIconShown() && QSystemTrayIcon::supportsMessages())
        m_trayIcon->showMessage(fromUtf8(title), fromUtf8(text));
}

void QtSystemTray::setCallback(std::function<void(int code)> callback)
{
    m_callback = std::move(callback);
}

void QtSystemTray::setContextMenu(QMenu *menu)
{
    m_menu = menu;
    if (m_trayIcon)
        m_trayIcon->setContextMenu(menu);
}
