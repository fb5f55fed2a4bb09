#include "headless/CMySocket.h"

#include "headless/CommandListener.h"
#include "headless/WaitingServer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <array>
#include <cstdint>
#include <span>

namespace {

constexpr auto kMaxDiscardBytes = static_cast<qint64>(ConnectionPolicy::kMaxDrainBytes);
constexpr auto kFlushGraceMs = static_cast<int>(ConnectionPolicy::kFlushGrace);

// Closes the socket once everything written has left, and frees it; a peer that never takes the bytes
// is cut off after the grace time.
void CloseAfterFlush(QTcpSocket* socket) {
    socket->disconnect();
    socket->flush();
    // Unread input at the close would make the kernel answer with a reset, which can destroy the reply
    // at the client before it has been read.
    std::array<char, 4096> sink{};
    qint64 dropped = 0;
    while (dropped < kMaxDiscardBytes && socket->state() == QAbstractSocket::ConnectedState) {
        const qint64 got = socket->read(sink.data(), static_cast<qint64>(sink.size()));
        if (got <= 0) {
            break;
        }
        dropped += got;
    }
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    // Bytes still queued: the socket goes when they have left, or when the grace time is over.
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QAbstractSocket::errorOccurred, socket, &QObject::deleteLater);
    QTimer::singleShot(kFlushGraceMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

} // namespace

CMySocket::CMySocket(QObject* parent) : QObject(parent) {}

CMySocket::~CMySocket() {
    if (m_connection != nullptr) {
        m_connection->disconnect();
        m_connection->abort();
        delete m_connection;
        m_connection = nullptr;
    }
}

bool CMySocket::Create(int port, int backlog, const QHostAddress& address) {
    m_server = std::make_unique<WaitingServer>();
    m_server->setListenBacklogSize(backlog);
    connect(m_server.get(), &WaitingServer::ConnectionWaiting, this, [this] { OnAccept(0); });
    if (!m_server->listen(address, static_cast<quint16>(port))) {
        m_error = m_server->errorString();
        m_server.reset();
        return false;
    }
    m_error.clear();
    return true;
}

int CMySocket::LocalPort() const {
    return m_server && m_server->isListening() ? m_server->serverPort() : 0;
}

bool CMySocket::HasWaitingConnection() const {
    return m_server && m_server->HasWaiting();
}

bool CMySocket::Accept(CMySocket& connection, ConnectionId id) {
    if (!m_server || !connection.IsIdle() || !m_server->HasWaiting()) {
        return false;
    }
    connection.m_id = id;
    return connection.Attach(m_server->TakeWaiting());
}

bool CMySocket::Attach(qintptr descriptor) {
    auto* socket = new QTcpSocket();
    // Unbuffered: a receive reads the kernel's data directly, once, and a send writes in one piece.
    if (!socket->setSocketDescriptor(descriptor, QAbstractSocket::ConnectedState,
                                     QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        // The descriptor is still ours: hand it to a socket that can close it.
        socket->abort();
        delete socket;
        QTcpSocket closer;
        closer.setSocketDescriptor(descriptor);
        closer.abort();
        return false;
    }
    m_connection = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this] { OnReceive(0); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] { OnSend(0); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { OnClose(0); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        // A connection the peer has reset is gone as surely as one it has closed.
        if (socket->state() == QAbstractSocket::UnconnectedState) {
            OnClose(0);
        } else {
            OnClose(static_cast<int>(error) + 1);
        }
    });
    return true;
}

std::string CMySocket::PeerKey() const {
    if (m_connection == nullptr) {
        return {};
    }
    const QHostAddress peer = m_connection->peerAddress();
    if (peer.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 ipv4 = peer.toIPv4Address();
        const std::array<std::uint8_t, 4> bytes = {
            static_cast<std::uint8_t>(ipv4 >> 24), static_cast<std::uint8_t>(ipv4 >> 16),
            static_cast<std::uint8_t>(ipv4 >> 8), static_cast<std::uint8_t>(ipv4)};
        return ConnectionPolicy::PeerKey(bytes);
    }
    const Q_IPV6ADDR ipv6 = peer.toIPv6Address();
    return ConnectionPolicy::PeerKey(std::span<const std::uint8_t>(ipv6.c, sizeof ipv6.c));
}

qint64 CMySocket::Available() const {
    return m_connection == nullptr ? 0 : m_connection->bytesAvailable();
}

qint64 CMySocket::Receive(char* buffer, qint64 maxBytes) {
    if (m_connection == nullptr) {
        return -1;
    }
    return m_connection->read(buffer, maxBytes);
}

qint64 CMySocket::Send(const char* data, qint64 size) {
    if (m_connection == nullptr) {
        return -1;
    }
    return m_connection->write(data, size);
}

void CMySocket::Close() {
    if (m_connection == nullptr) {
        return;
    }
    QTcpSocket* socket = m_connection;
    m_connection = nullptr;
    CloseAfterFlush(socket);
}

void CMySocket::OnReceive(int errorCode) {
    if (errorCode == 0 && m_owner != nullptr) {
        m_owner->OnReceive(m_id);
    }
}

void CMySocket::OnSend(int errorCode) {
    if (errorCode == 0 && m_owner != nullptr) {
        m_owner->OnNothing();
    }
}

void CMySocket::OnAccept(int errorCode) {
    if (errorCode == 0 && m_owner != nullptr) {
        m_owner->OnAccept();
    }
}

void CMySocket::OnConnect(int errorCode) {
    if (errorCode == 0 && m_owner != nullptr) {
        m_owner->OnNothing();
    }
}

void CMySocket::OnClose(int errorCode) {
    if (errorCode == 0 && m_owner != nullptr) {
        m_owner->OnClose(m_id);
    }
}
