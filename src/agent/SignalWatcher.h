#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a call on the event loop's thread: the handler only writes the signal's
// number into a pipe, whose read end wakes the loop. One instance per process.
class SignalWatcher final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; signals that arrive before the event loop runs wait in the pipe.
    explicit SignalWatcher(QObject* parent = nullptr);
    // Restores the default handlers and closes the pipe.
    ~SignalWatcher() override;
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

signals:
    // SIGINT or SIGTERM arrived.
    void StopRequested(int signalNumber);

private:
    void OnReadable();

    int m_readFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};
