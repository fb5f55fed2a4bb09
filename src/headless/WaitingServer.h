#pragma once

#include <QTcpServer>

#include <deque>

// A listening socket that keeps accepted connections as bare descriptors, in arrival order, until the owner
// takes them (it takes them at once), so the owner can open each connection unbuffered. Should kMaxWaiting
// pile up untaken, the server stops accepting and further clients wait in the kernel's backlog.
class WaitingServer final : public QTcpServer {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxWaiting = 64;

    explicit WaitingServer(QObject* parent = nullptr) : QTcpServer(parent) {}
    ~WaitingServer() override;
    WaitingServer(const WaitingServer&) = delete;
    WaitingServer& operator=(const WaitingServer&) = delete;

    bool HasWaiting() const { return !m_waiting.empty(); }
    // The oldest waiting descriptor, now owned by the caller; -1 when none waits.
    qintptr TakeWaiting();

signals:
    // Connections wait to be taken; emitted from the event loop, once a turn while any wait.
    void ConnectionWaiting();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void AnnounceLater();

    std::deque<qintptr> m_waiting;
    bool m_announced = false; // a ConnectionWaiting is on its way
};
