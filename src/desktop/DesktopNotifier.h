#pragma once

#include <QChar>
#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QString>

// Texts as notifications of the desktop's notification server (org.freedesktop.Notifications on the session
// bus), asked asynchronously so that a slow or hung server never holds up the agent. A later text for the same
// drive (the letter before ": ") replaces that drive's earlier notification.
class DesktopNotifier final : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    // Sends the text; Undelivered follows (at once, or when the server's error reply comes) when there is no
    // session bus or no server answers.
    void Notify(const QString& text);

signals:
    // A text no notification server took: for the caller's fallback.
    void Undelivered(const QString& text);
    // The user clicked one of our notifications (emitted from the bus's dispatch).
    void Activated();

private slots:
    void OnActionInvoked(uint id, const QString& actionKey);
    void OnNotificationClosed(uint id, uint reason);

private:
    QHash<QChar, uint> m_ids; // the shown notification of each drive
    // After an error reply the server is not asked again for a while, or until a server takes the name.
    QDeadlineTimer m_askAgain;
};
