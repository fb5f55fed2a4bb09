#pragma once

#include <QObject>

// Turns a stop request from outside into a call on the event loop's thread. On Linux these are SIGINT and
// SIGTERM: the handler only writes the signal's number into a pipe, whose read end wakes the loop. On Windows
// they are the console's Ctrl+C, Ctrl+Break and close (and log-off and shut-down where the system sends them):
// the handler only sets an event, which wakes the loop. One instance per process.
class SignalWatcher final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers unless done already; requests that arrive before the event loop runs wait until it runs.
    explicit SignalWatcher(QObject* parent = nullptr);
    // Installs the handlers without watching yet: called first thing at start-up, so that a stop request
    // arriving while the program starts is kept for the watcher instead of killing the process.
    static void InstallHandlers();
    // True once a stop request has arrived, also before the loop has taken it; may be asked from any thread.
    static bool StopArrived();
    // Watching ends; the handlers stay, so a later request changes nothing. On Windows a console that is being
    // closed waits for this before the system ends the process.
    ~SignalWatcher() override;
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

signals:
    // A stop request arrived: SIGINT or SIGTERM; on Windows SIGINT for Ctrl+C, SIGBREAK for Ctrl+Break and
    // SIGTERM for closing the console, logging off or shutting down.
    void StopRequested(int signalNumber);

private:
    // Takes the pending request on the loop's thread and reports it.
    void OnStopPending();
};
