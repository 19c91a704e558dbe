#pragma once

#include "ui/TelHandler.h"

#include <QObject>
#include <QPointer>

class QProcess;

/// The tel: handler through the desktop's MIME associations: whether there is one is asked
/// of "xdg-mime query default x-scheme-handler/tel", as a process of its own that the UI
/// never waits for; links are opened through QDesktopServices.
class DesktopTelHandler final : public QObject, public TelHandler
{
    Q_OBJECT
public:
    explicit DesktopTelHandler(QObject *parent = nullptr);

    bool isAvailable() const override { return m_available; }
    void recheck() override;
    void open(const std::string &uri) override;

private:
    bool m_available = false;
    QPointer<QProcess> m_query;
};
