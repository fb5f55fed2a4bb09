#include "net/CommandListener.h"

#include "capacity/Monitor.h"
#include "report/Report.h"

#include <array>
#include <string>

CommandListener::CommandListener(Monitor& monitor, QObject* parent) : QObject(parent), m_monitor(monitor) {
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(kIdleTimeoutMs);
    // A silent client is cut off without a reply: it asked nothing, and a reply to a request it has yet to
    // send would be taken as the answer to that request.
    connect(&m_idleTimer, &QTimer::timeout, this, &CommandListener::OnClose);
}

CommandListener::~CommandListener() = default;

bool CommandListener::StartListening(int port) {
    // The owners are set before the listening socket exists, so no notification can miss its handler.
    m_connection.SetOwner(this);
    m_listening.SetOwner(this);
    if (port < 0 || port > 65535) {
        Report("no command listener: Port " + std::to_string(port) + " is outside 0..65535");
        return false;
    }
    if (!m_listening.Create(port, kBacklog)) {
        Report("no command listener: cannot listen on port " + std::to_string(port) + ": " +
               m_listening.ErrorString().toStdString());
        return false;
    }
    return true;
}

void CommandListener::OnAccept() {
    if (!m_connection.IsIdle()) {
        return; // the connection waits its turn; the close handler takes it
    }
    if (m_listening.Accept(m_connection)) {
        m_idleTimer.start();
    }
}

void CommandListener::OnReceive() {
    if (m_connection.IsIdle()) {
        return;
    }
    if (m_monitor.Settings().NetWork == 1) {
        std::array<char, kMaxRequestBytes + 1> buffer{};
        const qint64 count = m_connection.Receive(buffer.data(), static_cast<qint64>(kMaxRequestBytes));
        const std::string_view text(buffer.data(), count > 0 ? static_cast<std::size_t>(count) : 0U);
        SendReply(DecideRequest(text, m_monitor.Settings()));
    } else {
        SendReply(ReplyKind::NotFound);
    }
    OnClose();
}

void CommandListener::SendReply(ReplyKind kind) {
    const std::string reply = ReplyText(kind, m_monitor);
    m_connection.Send(reply.data(), static_cast<qint64>(reply.size()));
}

void CommandListener::OnClose() {
    m_idleTimer.stop();
    m_connection.Close();
    // The next connection gets its turn from the event loop, so a queue of them never holds up a timer tick.
    if (m_listening.HasWaitingConnection()) {
        QTimer::singleShot(0, this, &CommandListener::OnAccept);
    }
}
