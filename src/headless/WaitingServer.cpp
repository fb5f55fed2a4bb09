#include "headless/WaitingServer.h"

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
    // The owner may take only some per turn of the event loop; the rest are announced again.
    AnnounceLater();
    return descriptor;
}

void WaitingServer::incomingConnection(qintptr descriptor) {
    m_waiting.push_back(descriptor);
    if (m_waiting.size() >= kMaxWaiting) {
        pauseAccepting();
    }
    AnnounceLater();
}

void WaitingServer::AnnounceLater() {
    // From the event loop, not from inside the loop that empties the backlog: connections taken at once could
    // push others out, which come straight back, and that loop would never end nor let the connections already
    // taken be read.
    if (m_announced || m_waiting.empty()) {
        return;
    }
    m_announced = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_announced = false;
            emit ConnectionWaiting();
        },
        Qt::QueuedConnection);
}
