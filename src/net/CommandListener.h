#pragma once

#include <QObject>
#include <QTimer>

#include "net/CMySocket.h"
#include "net/Request.h"

class Monitor;

// The command port of the agent: the listening socket and the one connection socket, with the handlers
// their notifications reach. One request and one reply per connection; connections that arrive while one is
// held wait and are served in arrival order. Runs on the agent's one thread.
class CommandListener final : public QObject {
    Q_OBJECT
public:
    // Backlog of the listening socket.
    static constexpr int kBacklog = 5;
    // A held connection that sends nothing for this long is closed without a reply.
    static constexpr int kIdleTimeoutMs = 10000;

    explicit CommandListener(Monitor& monitor, QObject* parent = nullptr);
    ~CommandListener() override;
    CommandListener(const CommandListener&) = delete;
    CommandListener& operator=(const CommandListener&) = delete;

    // Listens on the port on all IPv4 addresses; false, with one line on stderr, when the port is outside
    // 0..65535 or cannot be listened on (the agent then runs without a listener).
    bool StartListening(int port);
    // The port being listened on; 0 when there is no listener.
    int ListeningPort() const { return m_listening.LocalPort(); }
    // Changes the idle timeout (tests).
    void SetIdleTimeout(int milliseconds) { m_idleTimer.setInterval(milliseconds); }

    // Accept handler: takes the oldest waiting connection when the connection socket is idle.
    void OnAccept();
    // Receive handler: reads, decides and answers one request, then closes the connection.
    void OnReceive();
    // Close handler: closes the connection socket and turns to the next waiting connection.
    void OnClose();
    // The send-ready and connect notifications: nothing to do.
    void OnNothing() {}

private:
    void SendReply(ReplyKind kind);

    Monitor& m_monitor;
    CMySocket m_connection;
    CMySocket m_listening;
    QTimer m_idleTimer;
};
