// A StatusNotifierWatcher with a host registered, as a desktop's tray (KDE Plasma, or GNOME with the
// AppIndicator extension) provides it on the session bus. Writes one line per item that registers into the
// log file ("<service> Id=<the item's Id property>"), runs the command given, and ends with the command's exit
// code.
//   tarvellin_sni_watcher <log file> <command> [arguments...]

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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fputs("usage: tarvellin_sni_watcher <log file> <command> [arguments...]\n", stderr);
        return 2;
    }
    StatusNotifierWatcher watcher(args[1]);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fputs("tarvellin_sni_watcher: no session bus, or the watcher's name is taken\n", stderr);
        return 1;
    }
    QProcess command;
    command.setProcessChannelMode(QProcess::ForwardedChannels);
    command.setInputChannelMode(QProcess::ForwardedInputChannel);
    QObject::connect(&command, &QProcess::finished, &app, [](int exitCode) { QCoreApplication::exit(exitCode); });
    command.start(args[2], args.mid(3));
    if (!command.waitForStarted()) {
        return 127;
    }
    return QCoreApplication::exec();
}

#include "StatusNotifierWatcher.moc"
