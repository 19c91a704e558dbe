#include "QtSystemTray.h"

#include "TrayRecord.h"

#include <QSystemTrayIcon>

QtSystemTray::QtSystemTray(QIcon icon, QObject *parent) : QObject(parent), m_icon(std::move(icon))
{}

QtSystemTray::~QtSystemTray() = default;

void QtSystemTray::add(const TrayRecord &record)
{
    if (!m_icon_item) {
        m_icon_item = new QSystemTrayIcon(m_icon, this);
        connect(m_icon_item, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (!m_callback)
                        return;
                    switch (reason) {
                    case QSystemTrayIcon::Trigger:
                        m_callback(LeftButtonDown);
                        break;
                    case QSystemTrayIcon::DoubleClick:
                        m_callback(LeftDoubleClick);
                        break;
                    case QSystemTrayIcon::Context:
                        m_callback(RightButtonDown);
                        break;
                    case QSystemTrayIcon::MiddleClick:
                        m_callback(MiddleButtonDown);
                        break;
                    default:
                        break;
                    }
                });
    }
    m_icon_item->setToolTip(QString::fromStdString(record.szTip));
    m_icon_item->show();
}

void QtSystemTray::modify(const TrayRecord &record)
{
    if (m_icon_item)
        m_icon_item->setToolTip(QString::fromStdString(record.szTip));
}

void QtSystemTray::remove(const TrayRecord &)
{
    if (m_icon_item)
        m_icon_item->hide();
}

bool QtSystemTray::isIconShown() const
{
    return m_icon_item && m_icon_item->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void QtSystemTray::showMessage(std::string_view title, std::string_view text)
{
    if (m_icon_item)
        m_icon_item->showMessage(
            QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
            QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QtSystemTray::setCallback(std::function<void(int code)> callback)
{
    m_callback = std::move(callback);
}
