#include "headless/CommandListener.h"

#include "core/capacity/Monitor.h"
#include "core/net/ListenAddress.h"
#include "core/diagnostics/Report.h"

#include <QHostAddress>

#include <algorithm>
#include <limits>
#include <string>

CommandListener::CommandListener(Monitor& monitor, QObject* parent) : QObject(parent), m_monitor(monitor) {
    m_clock.start();
    m_wakeTimer.setSingleShot(true);
    // A coarse timer may fire early and need a second wake-up for the same deadline.
    m_wakeTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_wakeTimer, &QTimer::timeout, this, [this] {
        m_policy.TimePassed(Now());
        CarryOut();
    });
}

CommandListener::~CommandListener() = default;

bool CommandListener::StartListening(int port, const std::string& address) {
    // The owner is set before the listening socket exists, so no notification can miss its handler.
    m_listening.SetOwner(this);
    if (const std::optional<std::string> outside = PortOutsideRange(port)) {
        Report("no command listener: " + *outside);
        return false;
    }
    QHostAddress local(QHostAddress::AnyIPv4);
    // A mistyped address leaves the port closed rather than open on every network.
    if (!address.empty() && !local.setAddress(QString::fromStdString(address))) {
        Report("no command listener: [Http] Address " + address + " is not an IPv4 or IPv6 address");
        return false;
    }
    if (!m_listening.Create(port, ConnectionPolicy::kListenBacklog, local)) {
        std::string advice;
        if (local.protocol() == QAbstractSocket::IPv6Protocol) {
            const Q_IPV6ADDR ipv6 = local.toIPv6Address();
            advice = ListenAddressAdvice(address, ipv6.c, !local.scopeId().isEmpty());
        }
        Report("no command listener: cannot listen on port " + std::to_string(port) +
               (address.empty() ? std::string() : " of " + address) + ": " + m_listening.ErrorString().toStdString() +
               (advice.empty() ? std::string() : "; " + advice));
        return false;
    }
    return true;
}

void CommandListener::SetIdleTimeout(int milliseconds) {
    ConnectionPolicy::Limits limits = m_policy.GetLimits();
    limits.silentTimeout = milliseconds;
    m_policy.SetLimits(limits);
}

void CommandListener::OnAccept() {
    // The rest wait for the next turn of the event loop, which the listening socket announces.
    for (int taken = 0; taken < ConnectionPolicy::kAcceptsPerTurn && m_listening.HasWaitingConnection(); ++taken) {
        auto* connection = new CMySocket(this);
        connection->SetOwner(this);
        const ConnectionId id = m_nextId++;
        if (!m_listening.Accept(*connection, id)) {
            delete connection;
            continue;
        }
        m_connections.emplace(id, connection);
        m_policy.Accepted(id, connection->PeerKey(), Now());
        // A request that came with the connection is complete before the next accept could push it out.
        if (connection->Available() > 0) {
            TakeInput(id);
        }
    }
    CarryOut();
}

void CommandListener::OnReceive(ConnectionId id) {
    TakeInput(id);
    CarryOut();
}

void CommandListener::TakeInput(ConnectionId id) {
    const auto found = m_connections.find(id);
    if (found == m_connections.end()) {
        return;
    }
    CMySocket& connection = *found->second;
    const qint64 available = connection.Available();
    const ConnectionPolicy::Reading reading = ConnectionPolicy::ReadingFor(m_monitor.Settings());
    if (available <= 0) {
        // Readable with nothing to read: the peer has sent its last byte.
        m_policy.InputEnded(id);
    } else if (reading == ConnectionPolicy::Reading::RefuseUnread) {
        // Requests are not read; the bytes are dropped when the connection closes.
        m_policy.DataArrived(id, {}, Now(), ConnectionPolicy::Reading::RefuseUnread);
    } else {
        std::string bytes(
            static_cast<std::size_t>(std::min(available, static_cast<qint64>(ConnectionPolicy::kMaxReadBytes))), '\0');
        const qint64 count = connection.Receive(bytes.data(), static_cast<qint64>(bytes.size()));
        if (count < 0) {
            m_policy.PeerClosed(id);
        } else {
            bytes.resize(static_cast<std::size_t>(count));
            m_policy.DataArrived(id, bytes, Now(), reading);
        }
    }
}

void CommandListener::OnClose(ConnectionId id) {
    m_policy.PeerClosed(id);
    CarryOut();
}

void CommandListener::CarryOut() {
    const std::optional<ConnectionPolicy::Milliseconds> delay = m_policy.CarryOut(
        m_monitor, [this](ConnectionId id) { CloseConnection(id); },
        [this](ConnectionId id, const std::string& reply) { Send(id, reply); }, [this] { return Now(); });
    if (delay) {
        m_wakeTimer.start(static_cast<int>(*delay));
    } else {
        m_wakeTimer.stop();
    }
}

void CommandListener::Send(ConnectionId id, const std::string& reply) {
    if (const auto found = m_connections.find(id); found != m_connections.end()) {
        found->second->Send(reply.data(), static_cast<qint64>(reply.size()));
    }
}

void CommandListener::CloseConnection(ConnectionId id) {
    const auto found = m_connections.find(id);
    if (found == m_connections.end()) {
        return;
    }
    CMySocket* connection = found->second;
    m_connections.erase(found);
    connection->Close();
    // Its notification may be on the stack right now.
    connection->deleteLater();
}
