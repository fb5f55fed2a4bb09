#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <memory>

class CommandListener;
class QTcpSocket;
class WaitingServer;

// One socket of the command port, either the listening socket or the connection socket. It does not act by
// itself: each notification with error code 0 goes to its owner's handler; others are ignored.
class CMySocket final : public QObject {
    Q_OBJECT
public:
    CMySocket();
    ~CMySocket() override;
    CMySocket(const CMySocket&) = delete;
    CMySocket& operator=(const CMySocket&) = delete;

    // Stores the handler of the notifications; set before the socket is created.
    void SetOwner(CommandListener* owner) { m_owner = owner; }

    // Listens on the port on all IPv4 addresses with the given backlog; false (see ErrorString) on failure.
    bool Create(int port, int backlog);
    // Why the last Create failed.
    const QString& ErrorString() const { return m_error; }
    // The port being listened on; 0 when not listening.
    int LocalPort() const;

    // True while a connection waits to be accepted (listening socket).
    bool HasWaitingConnection() const;
    // Moves the oldest waiting connection into the connection socket; false when none waits or it is busy.
    bool Accept(CMySocket& connection);
    // True while the connection socket holds no connection.
    bool IsIdle() const { return m_connection == nullptr; }

    // One receive of at most maxBytes; the count, 0 when nothing has come or the peer has closed, -1 on error.
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
    void Attach(qintptr descriptor);

    CommandListener* m_owner = nullptr;
    std::unique_ptr<WaitingServer> m_server; // listening socket
    QTcpSocket* m_connection = nullptr;      // connection socket; owned, deleted through deleteLater
    QString m_error;
};
