#include "net/ConnectionPolicy.h"

#include "net/Request.h"
#include "net/Scrape.h"

#include <algorithm>
#include <climits>

ConnectionPolicy::Connection* ConnectionPolicy::Find(ConnectionId id) {
    const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                    [id](const Connection& connection) { return connection.id == id; });
    return found == m_connections.end() ? nullptr : &*found;
}

void ConnectionPolicy::Accepted(ConnectionId id, Milliseconds now) {
    if (Find(id) != nullptr) {
        return;
    }
    if (m_connections.size() >= m_limits.maxOpen) {
        const auto oldestSilent = std::find_if(m_connections.begin(), m_connections.end(),
                                               [](const Connection& open) { return open.stage == Stage::Silent; });
        if (oldestSilent == m_connections.end()) {
            // Everybody open has asked something: they go first.
            m_closes.push_back(id);
            return;
        }
        Close(oldestSilent->id);
    }
    Connection connection;
    connection.id = id;
    connection.acceptedAt = now;
    connection.lastDataAt = now;
    m_connections.push_back(std::move(connection));
}

void ConnectionPolicy::DataArrived(ConnectionId id, std::string_view bytes, Milliseconds now, Reading reading) {
    Connection* connection = Find(id);
    if (connection == nullptr || (connection->stage != Stage::Silent && connection->stage != Stage::Partial)) {
        return;
    }
    if (reading == Reading::RefuseUnread) {
        connection->reading = Reading::RefuseUnread;
        connection->request.clear();
        Complete(*connection);
        return;
    }
    if (bytes.empty()) {
        return;
    }
    const std::string_view taken = bytes.substr(0, kMaxRequestBytes - connection->request.size());
    connection->request.append(taken);
    connection->reading = reading;
    connection->lastDataAt = now;
    connection->stage = Stage::Partial;
    const std::string& request = connection->request;
    // A scrape's credentials may come in a header line: its head is read up to the empty line.
    const bool awaitsHead = reading == Reading::JudgeWithScrapes && IsScrapeRequestLine(request) &&
                            request.find("\n\r\n") == std::string::npos && request.find("\n\n") == std::string::npos;
    // Whatever came with the line feed stays part of the request, as a single receive would have taken it.
    if ((request.find('\n') != std::string::npos && !awaitsHead) || request.size() >= kMaxRequestBytes) {
        Complete(*connection);
    }
}

void ConnectionPolicy::InputEnded(ConnectionId id) {
    Connection* connection = Find(id);
    if (connection == nullptr) {
        return;
    }
    if (connection->stage == Stage::Silent) {
        Close(id);
    } else if (connection->stage == Stage::Partial) {
        Complete(*connection);
    }
}

void ConnectionPolicy::PeerClosed(ConnectionId id) {
    Connection* connection = Find(id);
    if (connection == nullptr) {
        return;
    }
    if (connection->stage == Stage::Answering) {
        m_answeringOpen = false;
    }
    Close(id);
}

void ConnectionPolicy::TimePassed(Milliseconds now) {
    std::vector<ConnectionId> expired;
    for (Connection& connection : m_connections) {
        const bool deadlinePassed = now - connection.acceptedAt >= m_limits.silentTimeout;
        if (connection.stage == Stage::Silent && deadlinePassed) {
            expired.push_back(connection.id);
        } else if (connection.stage == Stage::Partial &&
                   (deadlinePassed || now - connection.lastDataAt >= m_limits.quietPeriod)) {
            // A request that trickles in is judged on what came by the deadline.
            Complete(connection);
        }
    }
    for (const ConnectionId id : expired) {
        Close(id);
    }
}

std::optional<ConnectionPolicy::Action> ConnectionPolicy::NextAction() {
    if (!m_closes.empty()) {
        Action close;
        close.kind = Action::Kind::Close;
        close.id = m_closes.front();
        m_closes.pop_front();
        return close;
    }
    Connection* connection = nullptr;
    while (!m_answering && connection == nullptr && !m_ready.empty()) {
        connection = Find(m_ready.front());
        m_ready.pop_front();
    }
    if (connection == nullptr) {
        return std::nullopt;
    }
    connection->stage = Stage::Answering;
    m_answering = connection->id;
    m_answeringOpen = true;
    Action answer;
    answer.kind = Action::Kind::Answer;
    answer.id = connection->id;
    answer.reading = connection->reading;
    answer.request = std::move(connection->request);
    connection->request.clear();
    return answer;
}

bool ConnectionPolicy::Answered(ConnectionId id) {
    if (!m_answering || *m_answering != id) {
        return false;
    }
    m_answering.reset();
    if (!m_answeringOpen) {
        return false;
    }
    m_answeringOpen = false;
    Close(id);
    return true;
}

std::optional<ConnectionPolicy::Milliseconds> ConnectionPolicy::NextWake() const {
    std::optional<Milliseconds> wake;
    const auto consider = [&wake](Milliseconds at) { wake = wake ? std::min(*wake, at) : at; };
    for (const Connection& connection : m_connections) {
        if (connection.stage == Stage::Silent) {
            consider(connection.acceptedAt + m_limits.silentTimeout);
        } else if (connection.stage == Stage::Partial) {
            consider(
                std::min(connection.acceptedAt + m_limits.silentTimeout, connection.lastDataAt + m_limits.quietPeriod));
        }
    }
    return wake;
}

void ConnectionPolicy::Complete(Connection& connection) {
    connection.stage = Stage::Complete;
    m_ready.push_back(connection.id);
}

void ConnectionPolicy::Close(ConnectionId id) {
    std::erase_if(m_connections, [id](const Connection& connection) { return connection.id == id; });
    std::erase(m_ready, id);
    m_closes.push_back(id);
}

std::optional<ConnectionPolicy::Milliseconds>
ConnectionPolicy::CarryOut(Monitor& monitor, const std::function<void(ConnectionId)>& close,
                           const std::function<void(ConnectionId, const std::string&)>& send,
                           const std::function<Milliseconds()>& now) {
    while (const std::optional<Action> action = NextAction()) {
        if (action->kind == Action::Kind::Close) {
            close(action->id);
            continue;
        }
        const std::string reply = ReplyTo(action->request, action->reading != Reading::RefuseUnread, monitor);
        if (Answered(action->id)) {
            send(action->id, reply);
        }
    }
    const std::optional<Milliseconds> wake = NextWake();
    if (!wake) {
        return std::nullopt;
    }
    return std::clamp<Milliseconds>(*wake - now(), 0, INT_MAX);
}
