#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a call on the event loop's thread: the handler only writes the signal's
// number into a pipe, whose read end wakes the loop. One instance per process.
class SignalWatcher final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers unless done already; signals that arrive before the event loop runs wait in the pipe.
    explicit SignalWatcher(QObject* parent = nullptr);
    // Installs the handlers without watching yet: called first thing at start-up, so that a stop signal
    // arriving while the program starts is kept for the watcher instead of killing the process.
    static void InstallHandlers();
    ~SignalWatcher() override;
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

signals:
    // SIGINT or SIGTERM arrived.
    void StopRequested(int signalNumber);

private:
    void OnReadable();

    QSocketNotifier* m_notifier = nullptr;
};
