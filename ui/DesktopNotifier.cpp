#include "ui/DesktopNotifier.h"

#include "base/Notice.h"
#include "ui/AppIdentity.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QVariantMap>
#include <iostream>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");
// While the phone rings the notification stays; the clearing's replacement goes after 10 s.
constexpr int kRingingExpireMs = 0;
constexpr int kEndedExpireMs = 10000;
// NotificationClosed's reason when the user dismissed it.
constexpr uint kDismissedByUser = 2;

/// The notification's "image-data" hint: (iiibiiay) width, height, rowstride, has alpha,
/// bits per sample, channels, RGBA bytes.
struct NotificationImage
{
    QImage image;
};

} // namespace

Q_DECLARE_METATYPE(NotificationImage)

namespace {

QDBusArgument &operator<<(QDBusArgument &arg, const NotificationImage &img)
{
    const QImage rgba = img.image.convertToFormat(QImage::Format_RGBA8888);
    arg.beginStructure();
    arg << rgba.width() << rgba.height() << static_cast<int>(rgba.bytesPerLine()) << true << 8 << 4
        << QByteArray(reinterpret_cast<const char *>(rgba.constBits()),
                      static_cast<qsizetype>(rgba.sizeInBytes()));
    arg.endStructure();
    return arg;
}

// Needed for the registration only: the image is never read back.
const QDBusArgument &operator>>(const QDBusArgument &arg, NotificationImage &)
{
    return arg;
}

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

DesktopNotifier::DesktopNotifier(QImage icon, QDBusConnection bus, QObject *parent)
    : QObject(parent), m_icon(std::move(icon)), m_bus(std::move(bus))
{
    qDBusRegisterMetaType<NotificationImage>();
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
    // Asked at once, so that a missing server is reported at the start, not at the first call.
    watch(m_bus.asyncCall(QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                         QStringLiteral("GetServerInformation"))),
          [this](QDBusPendingCallWatcher *w) {
              if (w->isError())
                  reportUnavailable(w->error().message());
          });
}

DesktopNotifier::~DesktopNotifier() = default;

QString DesktopNotifier::summaryText(const std::string &caller)
{
    return fromUtf8(caller);
}

QString DesktopNotifier::bodyText(const std::string &msn, const std::string &time,
                                  const std::optional<std::string> &handling)
{
    // Servers may read the body as markup: the line's texts must not become tags.
    QString body = QStringLiteral("Anruf an %1 um %2")
                       .arg(fromUtf8(msn).toHtmlEscaped(), fromUtf8(time).toHtmlEscaped());
    if (handling)
        body += QLatin1Char('\n') + fromUtf8(*handling).toHtmlEscaped();
    return body;
}

void DesktopNotifier::callArrived(std::uint64_t callKey, const std::string &caller,
                                  const std::string &msn, const std::string &time)
{
    Call &call = m_calls[callKey];
    call = Call{};
    call.summary = summaryText(caller);
    call.msn = msn;
    call.time = time;
    notify(callKey, 0, call.summary, bodyText(msn, time), kRingingExpireMs);
}

QString DesktopNotifier::callerLine(const CallerDetails &details)
{
    QString line = fromUtf8(details.number).toHtmlEscaped();
    if (details.name.empty() && !details.place.empty())
        line += QStringLiteral(", ") + fromUtf8(details.place).toHtmlEscaped();
    return line;
}

void DesktopNotifier::callArrivedFrom(std::uint64_t callKey, const std::string &caller,
                                      const std::string &msn, const std::string &time,
                                      const CallerDetails &details)
{
    Call &call = m_calls[callKey];
    call = Call{};
    call.summary = summaryText(details.name.empty() ? caller : details.name);
    call.callerLine = callerLine(details);
    call.msn = msn;
    call.time = time;
    notify(callKey, 0, call.summary, call.callerLine + QLatin1Char('\n') + bodyText(msn, time),
           kRingingExpireMs);
}

void DesktopNotifier::callEnded(std::uint64_t callKey, const std::string &handling)
{
    const auto it = m_calls.find(callKey);
    if (it == m_calls.end())
        return;
    if (it->second.id == 0) {
        // The server has not told the id yet; the replacement goes out with its answer.
        it->second.handling = handling;
        return;
    }
    sendEnded(it, handling);
}

void DesktopNotifier::sendEnded(std::map<std::uint64_t, Call>::iterator it,
                                const std::string &handling)
{
    const Call call = std::move(it->second);
    const std::uint64_t callKey = it->first;
    m_calls.erase(it);
    // A notification the user has closed is not brought back by the clearing.
    if (call.dismissed)
        return;
    QString body = bodyText(call.msn, call.time, handling);
    if (!call.callerLine.isEmpty())
        body.prepend(call.callerLine + QLatin1Char('\n'));
    notify(callKey, call.id, call.summary, body, kEndedExpireMs);
}

void DesktopNotifier::lineDown(const std::string &why)
{
    m_outage = Outage{};
    watch(send(0, QString::fromUtf8(kLineDownSummary), fromUtf8(why).toHtmlEscaped(),
               kRingingExpireMs),
          [this](QDBusPendingCallWatcher *w) { onLineDownFinished(w); });
}

void DesktopNotifier::lineBack(const std::string &line)
{
    if (!m_outage)
        return;
    if (m_outage->id == 0) {
        // Sent with the server's answer to the down notification.
        m_outage->backLine = line;
        return;
    }
    const uint id = m_outage->id;
    m_outage.reset();
    watch(send(id, QString::fromUtf8(kLineBackSummary), fromUtf8(line).toHtmlEscaped(),
               kEndedExpireMs),
          [this](QDBusPendingCallWatcher *w) {
              const QDBusPendingReply<uint> reply = *w;
              if (reply.isError())
                  reportUnavailable(reply.error().message());
              else if (reply.value() != 0)
                  m_shown.insert(reply.value());
          });
}

void DesktopNotifier::onLineDownFinished(QDBusPendingCallWatcher *watcher)
{
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError())
        reportUnavailable(reply.error().message());
    if (!m_outage || m_outage->id != 0)
        return;
    if (reply.isError() || reply.value() == 0) {
        m_outage.reset();
        return;
    }
    m_outage->id = reply.value();
    m_shown.insert(m_outage->id);
    if (const auto line = m_outage->backLine)
        lineBack(*line);
}

void DesktopNotifier::notify(std::uint64_t callKey, uint replacesId, const QString &summary,
                             const QString &body, int expireMs)
{
    watch(send(replacesId, summary, body, expireMs),
          [this, callKey](QDBusPendingCallWatcher *w) { onNotifyFinished(callKey, w); });
}

QDBusPendingCall DesktopNotifier::send(uint replacesId, const QString &summary, const QString &body,
                                       int expireMs)
{
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kAppId));
    if (!m_icon.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(NotificationImage{m_icon}));
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    message << QStringLiteral("Klingelwacht") << replacesId << QString::fromLatin1(kAppId)
            << summary << body << QStringList{kDefaultAction, QStringLiteral("Anzeigen")} << hints
            << expireMs;
    return m_bus.asyncCall(message);
}

void DesktopNotifier::watch(const QDBusPendingCall &call,
                            std::function<void(QDBusPendingCallWatcher *)> handler)
{
    auto *watcher = new QDBusPendingCallWatcher(call, this);
    // Qt 6.4 never signals a call that failed before it went out (no bus): handle it from
    // the event loop all the same.
    if (watcher->isFinished()) {
        QTimer::singleShot(0, watcher, [watcher, handler] {
            handler(watcher);
            watcher->deleteLater();
        });
        return;
    }
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [handler](QDBusPendingCallWatcher *w) {
                handler(w);
                w->deleteLater();
            });
}

void DesktopNotifier::onNotifyFinished(std::uint64_t callKey, QDBusPendingCallWatcher *watcher)
{
    const QDBusPendingReply<uint> reply = *watcher;
    const auto it = m_calls.find(callKey);
    // Only a call still in m_calls waits for its first id; the answer to a clearing's
    // replacement finds its call gone.
    const bool first = it != m_calls.end() && it->second.id == 0;
    if (reply.isError()) {
        reportUnavailable(reply.error().message());
        if (first)
            m_calls.erase(it);
        return;
    }
    const uint id = reply.value();
    if (id == 0) {
        // Not a valid id: nothing to replace later.
        if (first)
            m_calls.erase(it);
        return;
    }
    m_shown.insert(id);
    if (!first)
        return;
    it->second.id = id;
    if (const auto handling = it->second.handling)
        sendEnded(it, *handling);
}

void DesktopNotifier::onActionInvoked(uint id, const QString &actionKey)
{
    if (actionKey == kDefaultAction && m_shown.count(id) && m_showHandler)
        m_showHandler();
}

void DesktopNotifier::onNotificationClosed(uint id, uint reason)
{
    m_shown.erase(id);
    if (reason != kDismissedByUser)
        return;
    for (auto &[key, call] : m_calls)
        if (call.id == id)
            call.dismissed = true;
}

void DesktopNotifier::reportUnavailable(const QString &why)
{
    if (m_reported)
        return;
    m_reported = true;
    notice("keine Benachrichtigungen, kein Benachrichtigungsdienst (" + why.toStdString() + ").");
}
