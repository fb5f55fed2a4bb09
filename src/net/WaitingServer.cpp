#include "net/WaitingServer.h"

#include <QTcpSocket>

WaitingServer::~WaitingServer() {
    // Connections that never had their turn are closed with the listener.
    while (!m_waiting.empty()) {
        QTcpSocket socket;
        socket.setSocketDescriptor(TakeWaiting());
        socket.abort();
    }
}

qintptr WaitingServer::TakeWaiting() {
    if (m_waiting.empty()) {
        return -1;
    }
    const qintptr descriptor = m_waiting.front();
    m_waiting.pop_front();
    if (m_waiting.size() < kMaxWaiting && isListening()) {
        resumeAccepting();
    }
    return descriptor;
}

void WaitingServer::incomingConnection(qintptr descriptor) {
    m_waiting.push_back(descriptor);
    if (m_waiting.size() >= kMaxWaiting) {
        pauseAccepting();
    }
    emit ConnectionWaiting();
}
