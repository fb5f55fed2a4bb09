// A desktop's service on the session bus, for one command run beside it; ends with the command's exit code.
//   tarvellin_bus_fake watcher <log file> <command> [arguments...]
// A StatusNotifierWatcher with a host registered, as a desktop's tray (KDE Plasma, or GNOME with the
// AppIndicator extension) provides it: one line per item that registers ("<service> Id=<the item's Id>").
//   tarvellin_bus_fake notifications|notifications-click <log file> <command> [arguments...]
// A notification server: one line per Notify ("app|replaces id|summary|body|actions,...|urgency=<type>:<n>"); with
// -click, the user clicks each notification half a second after it was shown.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <memory>

class StatusNotifierWatcher final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
public:
    explicit StatusNotifierWatcher(const QString& logPath) : m_log(logPath) {
        m_log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    }
    bool IsStatusNotifierHostRegistered() const { return true; }
    QStringList RegisteredStatusNotifierItems() const { return m_items; }
    int ProtocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        m_items << service;
        emit StatusNotifierItemRegistered(service);
        // The item is asked once this call has been answered: a host reads the item's properties as this.
        const QString sender = calledFromDBus() ? message().service() : QString();
        QTimer::singleShot(0, this, [this, service, sender] {
            const bool isPath = service.startsWith(QLatin1Char('/'));
            QDBusInterface item(isPath ? sender : service, isPath ? service : QStringLiteral("/StatusNotifierItem"),
                                QStringLiteral("org.kde.StatusNotifierItem"));
            const QString id = item.property("Id").toString();
            m_log.write((service + QStringLiteral(" Id=") + id + QLatin1Char('\n')).toUtf8());
        });
    }
    void RegisterStatusNotifierHost(const QString& /*service*/) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QFile m_log;
    QStringList m_items;
};

class NotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    NotificationServer(const QString& logPath, bool click) : m_log(logPath), m_click(click) {
        m_log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& /*appIcon*/, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int /*expireTimeout*/) {
        const uint id = replacesId != 0 ? replacesId : ++m_lastId;
        const QVariant urgency = hints.value(QStringLiteral("urgency"));
        const QStringList fields{appName, QString::number(replacesId), summary, body, actions.join(QLatin1Char(','))};
        m_log.write(
            (fields.join(QLatin1Char('|')) +
             QStringLiteral("|urgency=%1:%2\n").arg(QLatin1String(urgency.metaType().name())).arg(urgency.toInt()))
                .toUtf8());
        if (m_click) {
            QTimer::singleShot(500, this, [this, id] { emit ActionInvoked(id, QStringLiteral("default")); });
        }
        return id;
    }

signals:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QFile m_log;
    bool m_click;
    uint m_lastId = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.value(1);
    const QStringList modes{QStringLiteral("watcher"), QStringLiteral("notifications"),
                            QStringLiteral("notifications-click")};
    if (args.size() < 4 || !modes.contains(mode)) {
        std::fputs("usage: tarvellin_bus_fake watcher|notifications|notifications-click <log file> <command> "
                   "[arguments...]\n",
                   stderr);
        return 2;
    }
    const bool watcher = mode == QStringLiteral("watcher");
    std::unique_ptr<QObject> service;
    if (watcher) {
        service = std::make_unique<StatusNotifierWatcher>(args[2]);
    } else {
        service = std::make_unique<NotificationServer>(args[2], mode.endsWith(QStringLiteral("-click")));
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(watcher ? QStringLiteral("/StatusNotifierWatcher")
                                    : QStringLiteral("/org/freedesktop/Notifications"),
                            service.get(),
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService(watcher ? QStringLiteral("org.kde.StatusNotifierWatcher")
                                     : QStringLiteral("org.freedesktop.Notifications"))) {
        std::fputs("tarvellin_bus_fake: no session bus, or the service's name is taken\n", stderr);
        return 1;
    }
    QProcess command;
    command.setProcessChannelMode(QProcess::ForwardedChannels);
    command.setInputChannelMode(QProcess::ForwardedInputChannel);
    QObject::connect(&command, &QProcess::finished, &app, [](int exitCode) { QCoreApplication::exit(exitCode); });
    command.start(args[3], args.mid(4));
    if (!command.waitForStarted()) {
        return 127;
    }
    return QCoreApplication::exec();
}

#include "SessionBusFake.moc"
