#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/net/ConnectionPolicy.h"
#include "platform/EventSource.h"
#include "platform/Sockets.h"

class Monitor;

// The command port: the listening socket and the accepted connections, watched on the agent's event source.
// What the connections send goes to the connection policy; this carries out what the policy asks for (answer
// a request, close a connection) and wakes it when a deadline is due. A reply is sent in one piece where the
// socket takes it; the rest goes out as the peer takes it, for at most ConnectionPolicy::kFlushGrace.
class CommandListener final : private EventSource::Handler {
public:
    using ConnectionId = ConnectionPolicy::ConnectionId;

    CommandListener(Monitor& monitor, EventSource& events, Sockets& sockets);
    // Closes the listening socket and every connection.
    ~CommandListener();
    CommandListener(const CommandListener&) = delete;
    CommandListener& operator=(const CommandListener&) = delete;

    // Listens on the port on the local address (an IPv4 or IPv6 literal), on all IPv4 addresses when it is
    // empty; false, with one line on stderr, when the port is outside 0..65535, the address is no literal, or
    // the port cannot be listened on there (the agent then runs without a listener).
    bool StartListening(int port, const std::string& address = {});
    // The port being listened on; 0 when there is no listener.
    int ListeningPort() const { return m_port; }
    // Changes how long a connection may stay silent after its accept (tests).
    void SetIdleTimeout(int milliseconds);
    // Connections accepted and not yet closed, those still handing over a reply included (tests).
    std::size_t OpenConnections() const { return m_connections.size(); }

private:
    struct Connection {
        ConnectionId id = 0;
        Descriptor socket = kNoDescriptor;
        bool inputEnded = false;   // its peer's input has ended or failed: no longer watched for reading
        bool closing = false;      // the policy has closed it: only the rest of its reply goes out
        std::string unsent;        // closing: what the socket has not taken yet
        std::int64_t cutOffAt = 0; // closing: when it is closed whether or not the peer took the rest
    };

    void OnReady(Descriptor socket) override;
    void OnAccept();
    // Hands what the connection has sent, the end of its input or its failure to the policy.
    void TakeInput(Connection& connection);
    // Carries out the policy's actions until none is left, then arms the wake for its next deadline.
    void CarryOut();
    void Send(ConnectionId id, const std::string& reply);
    void CloseConnection(ConnectionId id);
    // Sends more of a closing connection's rest; closes it once all has gone, it failed or its time is up.
    void Flush(Connection& connection);
    // Drops unread input, ends the sending side and closes the socket; forgets the connection.
    void Finish(Descriptor socket);
    void OnWake();
    Connection* Find(ConnectionId id);
    Connection* FindSocket(Descriptor socket);

    Monitor& m_monitor;
    EventSource& m_events;
    Sockets& m_sockets;
    ConnectionPolicy m_policy;
    Descriptor m_listening = kNoDescriptor;
    int m_port = 0;
    std::optional<std::int64_t> m_acceptsResumeAt; // accepts pause while the process is out of descriptors
    std::vector<Connection> m_connections;
    ConnectionId m_nextId = 1;
    std::unique_ptr<EventTimer> m_wake;
};
