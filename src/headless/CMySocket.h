#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>

#include "core/net/ConnectionPolicy.h"

class CommandListener;
class QHostAddress;
class QTcpSocket;
class WaitingServer;

// One socket of the command port: the listening socket, or one accepted connection. It does not act by
// itself: each notification with error code 0 goes to its owner's handler, naming the connection; others
// are ignored.
class CMySocket final : public QObject {
    Q_OBJECT
public:
    using ConnectionId = ConnectionPolicy::ConnectionId;

    explicit CMySocket(QObject* parent = nullptr);
    ~CMySocket() override;
    CMySocket(const CMySocket&) = delete;
    CMySocket& operator=(const CMySocket&) = delete;

    // Stores the handler of the notifications; set before the socket is created or accepted into.
    void SetOwner(CommandListener* owner) { m_owner = owner; }

    // Listens on the port of the local address with the given backlog; false (see ErrorString) on failure.
    bool Create(int port, int backlog, const QHostAddress& address);
    // Why the last Create failed.
    const QString& ErrorString() const { return m_error; }
    // The port being listened on; 0 when not listening.
    int LocalPort() const;

    // True while a connection waits to be accepted (listening socket).
    bool HasWaitingConnection() const;
    // Moves the oldest waiting connection into an idle connection socket under the given id; false when
    // none waits, the connection socket is busy or the connection could not be taken over.
    bool Accept(CMySocket& connection, ConnectionId id);
    // True while the connection socket holds no connection.
    bool IsIdle() const { return m_connection == nullptr; }
    // The id the connection was accepted under.
    ConnectionId Id() const { return m_id; }
    // The peer of the connection as ConnectionPolicy::PeerKey counts it; empty when there is none.
    std::string PeerKey() const;

    // Bytes that a receive can take now without waiting; 0 when none (or the peer has stopped sending).
    qint64 Available() const;
    // One receive of at most maxBytes; the count, 0 when nothing has come, -1 on error or when the peer has closed.
    qint64 Receive(char* buffer, qint64 maxBytes);
    // Sends the whole text in one write; the count accepted, or -1.
    qint64 Send(const char* data, qint64 size);
    // Ends the connection: what was sent still goes out, whatever was not read is dropped. Idle afterwards.
    void Close();

    // The notifications, forwarded to the owner when errorCode is 0.
    void OnReceive(int errorCode);
    void OnSend(int errorCode);
    void OnAccept(int errorCode);
    void OnConnect(int errorCode);
    void OnClose(int errorCode);

private:
    bool Attach(qintptr descriptor);

    CommandListener* m_owner = nullptr;
    std::unique_ptr<WaitingServer> m_server; // listening socket
    QTcpSocket* m_connection = nullptr;      // connection socket; owned, deleted through deleteLater
    ConnectionId m_id = 0;
    QString m_error;
};
