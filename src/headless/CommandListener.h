#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <map>
#include <string>

#include "headless/CMySocket.h"
#include "core/net/ConnectionPolicy.h"
#include "core/net/Request.h"

class Monitor;

// The command port of the agent over Qt: the listening socket and the accepted connections, whose
// notifications are handed to the connection policy; this carries out what the policy asks for (close a
// connection, answer a request) and wakes it when a deadline is due. Runs on the agent's one thread.
class CommandListener final : public QObject {
    Q_OBJECT
public:
    using ConnectionId = ConnectionPolicy::ConnectionId;

    explicit CommandListener(Monitor& monitor, QObject* parent = nullptr);
    ~CommandListener() override;
    CommandListener(const CommandListener&) = delete;
    CommandListener& operator=(const CommandListener&) = delete;

    // Listens on the port on the local address (an IPv4 or IPv6 literal), on all IPv4 addresses when it is
    // empty; false, with one line on stderr, when the port is outside 0..65535, the address is no literal, or
    // the port cannot be listened on there (the agent then runs without a listener).
    bool StartListening(int port, const std::string& address = {});
    // The port being listened on; 0 when there is no listener.
    int ListeningPort() const { return m_listening.LocalPort(); }
    // Changes how long a connection may stay silent after its accept (tests).
    void SetIdleTimeout(int milliseconds);
    // Connections accepted and not yet closed (tests).
    std::size_t OpenConnections() const { return m_connections.size(); }

    // Accept handler: accepts waiting connections, a few a turn of the event loop.
    void OnAccept();
    // Receive handler: hands what a connection has sent to the policy.
    void OnReceive(ConnectionId id);
    // Close handler: the connection has failed or been reset.
    void OnClose(ConnectionId id);
    // The send-ready and connect notifications: nothing to do.
    void OnNothing() {}

private:
    ConnectionPolicy::Milliseconds Now() const { return m_clock.elapsed(); }
    // Hands what the connection has sent, or the end of its input, to the policy.
    void TakeInput(ConnectionId id);
    // Carries out the policy's actions until none is left, then sets the wake-up for its next deadline.
    void CarryOut();
    void Send(ConnectionId id, const std::string& reply);
    void CloseConnection(ConnectionId id);

    Monitor& m_monitor;
    ConnectionPolicy m_policy;
    CMySocket m_listening;
    std::map<ConnectionId, CMySocket*> m_connections; // children of this; deleted later once closed
    ConnectionId m_nextId = 1;
    QElapsedTimer m_clock;
    QTimer m_wakeTimer;
};
