#include "desktop/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// A server that has not answered by then counts as absent; the text then goes to the fallback.
constexpr int kReplyTimeoutMs = 5000;
// How long a server that failed is passed over (a restarting desktop may answer again later).
constexpr qint64 kFailedServerPauseMs = 10 * 60 * 1000;

// The drive a text is about: its letter before ": ", or none.
QChar DriveOf(const QString& text) {
    return text.size() > 2 && text[1] == QLatin1Char(':') ? text[0] : QChar();
}
} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    // QDBusConnection::connect takes the slot by name only.
    bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(OnActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                SLOT(OnNotificationClosed(uint, uint)));
    auto* watcher = new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { m_askAgain = QDeadlineTimer(0); });
}

void DesktopNotifier::Notify(const QString& text) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !m_askAgain.hasExpired()) {
        emit Undelivered(text);
        return;
    }
    const QChar drive = DriveOf(text);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("tarvellin") << m_ids.value(drive, 0U) << QStringLiteral("tarvellin")
         << QStringLiteral("tarvellin") << text << QStringList{QStringLiteral("default"), QStringLiteral("設定")}
         << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue(uchar{1})}} << -1;
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(call, kReplyTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, drive, text](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<uint> reply = *done;
        if (reply.isError()) {
            m_askAgain.setRemainingTime(kFailedServerPauseMs);
            emit Undelivered(text);
            return;
        }
        m_ids.insert(drive, reply.value());
    });
}

void DesktopNotifier::OnActionInvoked(uint id, const QString& /*actionKey*/) {
    // Our one action is the click on the notification itself.
    if (std::find(m_ids.cbegin(), m_ids.cend(), id) != m_ids.cend()) {
        emit Activated();
    }
}

void DesktopNotifier::OnNotificationClosed(uint id, uint /*reason*/) {
    m_ids.removeIf([id](const auto& entry) { return entry.value() == id; });
}
