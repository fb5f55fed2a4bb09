#include "core/net/CommandListener.h"

#include "core/capacity/Monitor.h"
#include "core/diagnostics/Report.h"
#include "core/net/ListenAddress.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <span>

namespace {
// Bytes taken from a socket by one receive; a request of the command port fits in one.
constexpr std::size_t kReceiveBytes = 4096;
// How long accepts pause when the process may open no further descriptor.
constexpr std::int64_t kAcceptPause = 100;
} // namespace

CommandListener::CommandListener(Monitor& monitor, EventSource& events, Sockets& sockets)
    : m_monitor(monitor), m_events(events), m_sockets(sockets), m_wake(events.CreateTimer([this] { OnWake(); })) {}

CommandListener::~CommandListener() {
    for (const Connection& connection : m_connections) {
        m_events.Unwatch(connection.socket);
        m_sockets.Close(connection.socket);
    }
    if (m_listening != kNoDescriptor) {
        m_events.Unwatch(m_listening);
        m_sockets.Close(m_listening);
    }
}

bool CommandListener::StartListening(int port, const std::string& address) {
    if (const std::optional<std::string> outside = PortOutsideRange(port)) {
        Report("no command listener: " + *outside);
        return false;
    }
    const Sockets::Listening listening = m_sockets.Listen(port, address, ConnectionPolicy::kListenBacklog);
    switch (listening.outcome) {
    case Sockets::Listening::Outcome::Listening:
        break;
    case Sockets::Listening::Outcome::NotAnAddress:
        // A mistyped address leaves the port closed rather than open on every network.
        Report("no command listener: [Http] Address " + address + " is not an IPv4 or IPv6 address");
        return false;
    case Sockets::Listening::Outcome::Failed: {
        const std::string advice =
            listening.ipv6 ? ListenAddressAdvice(address, listening.ipv6Address, listening.scoped) : std::string();
        Report("no command listener: cannot listen on port " + std::to_string(port) +
               (address.empty() ? std::string() : " of " + address) + ": " + listening.failure +
               (advice.empty() ? std::string() : "; " + advice));
        return false;
    }
    }
    m_listening = listening.socket;
    m_port = m_sockets.LocalPort(m_listening);
    m_events.Watch(m_listening, EventSource::Interest::Read, *this);
    return true;
}

void CommandListener::SetIdleTimeout(int milliseconds) {
    ConnectionPolicy::Limits limits = m_policy.GetLimits();
    limits.silentTimeout = milliseconds;
    m_policy.SetLimits(limits);
}

CommandListener::Connection* CommandListener::Find(ConnectionId id) {
    const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                    [id](const Connection& connection) { return connection.id == id; });
    return found == m_connections.end() ? nullptr : &*found;
}

CommandListener::Connection* CommandListener::FindSocket(Descriptor socket) {
    const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                    [socket](const Connection& connection) { return connection.socket == socket; });
    return found == m_connections.end() ? nullptr : &*found;
}

void CommandListener::OnReady(Descriptor socket) {
    if (socket == m_listening) {
        OnAccept();
    } else if (Connection* connection = FindSocket(socket); connection == nullptr) {
        return;
    } else if (connection->closing) {
        Flush(*connection);
    } else {
        TakeInput(*connection);
    }
    CarryOut();
}

void CommandListener::OnAccept() {
    // The rest wait for the next turn of the loop, after the connections taken now have been read.
    for (int taken = 0; taken < ConnectionPolicy::kAcceptsPerTurn; ++taken) {
        Sockets::Peer peer;
        const Descriptor socket = m_sockets.Accept(m_listening, peer);
        if (socket == Sockets::kOutOfDescriptors) {
            // The waiting connection stays ready to be taken: watched on, the loop would spin until one closes.
            m_events.Unwatch(m_listening);
            m_acceptsResumeAt = m_events.Now() + kAcceptPause;
            return;
        }
        if (socket == kNoDescriptor) {
            return;
        }
        const ConnectionId id = m_nextId++;
        m_connections.push_back({id, socket, false, false, {}, 0});
        m_events.Watch(socket, EventSource::Interest::Read, *this);
        m_policy.Accepted(id, ConnectionPolicy::PeerKey(std::span(peer.bytes.data(), peer.size)), m_events.Now());
        // A request that came with the connection is complete before the next accept could push it out.
        TakeInput(m_connections.back());
    }
}

void CommandListener::TakeInput(Connection& connection) {
    const ConnectionPolicy::Reading reading = ConnectionPolicy::ReadingFor(m_monitor.Settings());
    std::array<char, kReceiveBytes> buffer;
    // Whatever a connection sends is taken, also after its request is complete: unread input would keep it
    // ready for reading. The rest of a flood waits for the next turn.
    for (std::size_t taken = 0; taken < ConnectionPolicy::kMaxReadBytes;) {
        const std::ptrdiff_t count = m_sockets.Receive(connection.socket, buffer.data(), buffer.size());
        if (count > 0) {
            taken += static_cast<std::size_t>(count);
            // Requests that are not read need not be kept: anything sent completes them.
            const std::string_view bytes(buffer.data(), reading == ConnectionPolicy::Reading::RefuseUnread ? 0 : count);
            m_policy.DataArrived(connection.id, bytes, m_events.Now(), reading);
            if (static_cast<std::size_t>(count) < buffer.size()) {
                return; // nothing more has come yet
            }
            continue;
        }
        if (count == Sockets::kWouldBlock) {
            return;
        }
        // The end of its input or its failure: nothing more to read, and a watch would report it at every turn.
        m_events.Unwatch(connection.socket);
        connection.inputEnded = true;
        if (count == 0) {
            m_policy.InputEnded(connection.id);
        } else {
            m_policy.PeerClosed(connection.id);
        }
        return;
    }
}

void CommandListener::CarryOut() {
    std::optional<ConnectionPolicy::Milliseconds> delay = m_policy.CarryOut(
        m_monitor, [this](ConnectionId id) { CloseConnection(id); },
        [this](ConnectionId id, const std::string& reply) { Send(id, reply); }, [this] { return m_events.Now(); });
    const auto wakeAt = [this, &delay](std::int64_t at) {
        const std::int64_t left = std::max<std::int64_t>(at - m_events.Now(), 0);
        delay = delay ? std::min(*delay, left) : left;
    };
    for (const Connection& connection : m_connections) {
        if (connection.closing) {
            wakeAt(connection.cutOffAt);
        }
    }
    if (m_acceptsResumeAt) {
        wakeAt(*m_acceptsResumeAt);
    }
    if (delay) {
        m_wake->Start(std::chrono::milliseconds(*delay));
    } else {
        m_wake->Stop();
    }
}

void CommandListener::OnWake() {
    if (m_acceptsResumeAt && *m_acceptsResumeAt <= m_events.Now()) {
        m_acceptsResumeAt.reset();
        m_events.Watch(m_listening, EventSource::Interest::Read, *this);
    }
    m_policy.TimePassed(m_events.Now());
    // A peer that has not taken the rest of its reply in time is cut off.
    for (std::size_t i = 0; i < m_connections.size();) {
        if (m_connections[i].closing && m_connections[i].cutOffAt <= m_events.Now()) {
            Finish(m_connections[i].socket);
        } else {
            ++i;
        }
    }
    CarryOut();
}

void CommandListener::Send(ConnectionId id, const std::string& reply) {
    Connection* connection = Find(id);
    if (connection == nullptr) {
        return;
    }
    const std::ptrdiff_t sent = m_sockets.Send(connection->socket, reply.data(), reply.size());
    if (sent == Sockets::kFailed) {
        return;
    }
    // The close that follows hands over the rest as the peer takes it.
    connection->unsent.assign(reply, static_cast<std::size_t>(std::max<std::ptrdiff_t>(sent, 0)));
}

void CommandListener::CloseConnection(ConnectionId id) {
    Connection* connection = Find(id);
    if (connection == nullptr || connection->closing) {
        return;
    }
    if (connection->unsent.empty()) {
        Finish(connection->socket);
        return;
    }
    connection->closing = true;
    connection->cutOffAt = m_events.Now() + ConnectionPolicy::kFlushGrace;
    m_events.Watch(connection->socket, EventSource::Interest::Write, *this);
}

void CommandListener::Flush(Connection& connection) {
    const std::ptrdiff_t sent = m_sockets.Send(connection.socket, connection.unsent.data(), connection.unsent.size());
    if (sent > 0) {
        connection.unsent.erase(0, static_cast<std::size_t>(sent));
    }
    if (connection.unsent.empty() || sent == Sockets::kFailed) {
        Finish(connection.socket);
    }
}

void CommandListener::Finish(Descriptor socket) {
    Connection* connection = FindSocket(socket);
    if (connection == nullptr) {
        return;
    }
    m_events.Unwatch(socket);
    // Unread input at the close would make the kernel reset the connection, which can destroy the reply at
    // the client before it has been read: what has come is read and dropped first.
    if (!connection->inputEnded) {
        std::array<char, kReceiveBytes> sink;
        for (std::size_t dropped = 0; dropped < ConnectionPolicy::kMaxDrainBytes;) {
            const std::ptrdiff_t count = m_sockets.Receive(socket, sink.data(), sink.size());
            if (count <= 0) {
                break;
            }
            dropped += static_cast<std::size_t>(count);
        }
    }
    m_sockets.ShutdownSending(socket);
    m_sockets.Close(socket);
    std::erase_if(m_connections, [socket](const Connection& open) { return open.socket == socket; });
}
