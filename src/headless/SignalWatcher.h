#pragma once

#include <QObject>

// Turns a stop request (SIGINT, SIGTERM) or a reload request (SIGHUP) from outside into a signal on the event
// loop's thread: the platform's handler only marks the request, whose handle wakes the loop. Requests that
// arrived before the watcher existed are reported once the loop runs.
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
    // A reload of the settings was asked for.
    void ReloadRequested();

private:
    // Takes the pending requests on the loop's thread and reports them: a reload before a stop.
    void OnRequestPending();
};
