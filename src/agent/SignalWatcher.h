#pragma once

#include <QObject>

// Turns a stop request from outside (SIGINT, SIGTERM) into a signal on the event loop's thread: the
// platform's handler only marks the request, whose handle wakes the loop. Requests that arrived before the
// watcher existed are reported once the loop runs.
class SignalWatcher final : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

signals:
    // A stop request arrived, with the number of its signal.
    void StopRequested(int signalNumber);

private:
    // Takes the pending request on the loop's thread and reports it.
    void OnStopPending();
};
