#include "core/net/ConnectionPolicy.h"

#include "core/net/Reply.h"
#include "core/net/Request.h"
#include "core/net/ScrapeRequest.h"

#include <algorithm>
#include <array>
#include <climits>

ConnectionPolicy::Reading ConnectionPolicy::ReadingFor(const MonitorSettings& settings) {
    if (!ReadsRequests(settings)) {
        return Reading::RefuseUnread;
    }
    return ReadsScrapes(settings) ? Reading::JudgeWithScrapes : Reading::Judge;
}

ConnectionPolicy::Connection* ConnectionPolicy::Find(ConnectionId id) {
    const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                    [id](const Connection& connection) { return connection.id == id; });
    return found == m_connections.end() ? nullptr : &*found;
}

std::string ConnectionPolicy::PeerKey(std::span<const std::uint8_t> address) {
    constexpr std::array<std::uint8_t, 12> kMappedPrefix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (address.size() == 16) {
        address = std::equal(kMappedPrefix.begin(), kMappedPrefix.end(), address.begin()) ? address.subspan(12)
                                                                                          : address.first(8);
    }
    return {address.begin(), address.end()};
}

bool ConnectionPolicy::IsIncomplete(const Connection& connection) {
    return connection.stage == Stage::Silent || connection.stage == Stage::Partial;
}

std::size_t ConnectionPolicy::IncompleteOf(const std::string& peer) const {
    return static_cast<std::size_t>(
        std::count_if(m_connections.begin(), m_connections.end(),
                      [&peer](const Connection& open) { return open.peer == peer && IsIncomplete(open); }));
}

const ConnectionPolicy::Connection* ConnectionPolicy::LongestIncomplete(const std::string* peer, bool overLimit) const {
    // In accept order, and a connection is incomplete from its accept on: the first found has waited longest.
    const auto longest = std::find_if(m_connections.begin(), m_connections.end(), [&](const Connection& open) {
        return IsIncomplete(open) && (peer == nullptr || open.peer == *peer) &&
               (!overLimit || IncompleteOf(open.peer) > m_limits.maxIncompletePerPeer);
    });
    return longest == m_connections.end() ? nullptr : &*longest;
}

void ConnectionPolicy::TrimPeer(const std::string& peer, Milliseconds now) {
    while (IncompleteOf(peer) > m_limits.maxIncompletePerPeer) {
        const Connection* longest = LongestIncomplete(&peer, false);
        if (longest == nullptr || now - longest->acceptedAt < m_limits.peerGrace) {
            return;
        }
        Close(longest->id);
    }
}

void ConnectionPolicy::Accepted(ConnectionId id, std::string_view peer, Milliseconds now) {
    if (Find(id) != nullptr) {
        return;
    }
    Connection connection;
    connection.id = id;
    connection.peer = peer;
    connection.acceptedAt = now;
    connection.lastDataAt = now;
    m_connections.push_back(std::move(connection));
    if (m_connections.size() > m_limits.maxOpen) {
        // A peer over its limit makes room before anybody else; the newcomer, last in accept order, is never
        // the longest incomplete unless it is the only incomplete connection.
        const Connection* longest = LongestIncomplete(nullptr, true);
        if (longest == nullptr) {
            longest = LongestIncomplete(nullptr, false);
        }
        // Everybody else open has asked something: they go first.
        Close(longest == nullptr ? id : longest->id);
    }
    if (Find(id) != nullptr) {
        const std::string ofNewcomer = m_connections.back().peer; // a copy: closes move the connections
        TrimPeer(ofNewcomer, now);
    }
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
    if (connection->stage == Stage::Silent) {
        connection->firstDataAt = now;
        connection->stage = Stage::Partial;
    }
    connection->lastDataAt = now;
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

ConnectionPolicy::Milliseconds ConnectionPolicy::PartialDeadline(const Connection& connection) const {
    return std::min({connection.acceptedAt + m_limits.silentTimeout, connection.firstDataAt + m_limits.requestDeadline,
                     connection.lastDataAt + m_limits.quietPeriod});
}

void ConnectionPolicy::TimePassed(Milliseconds now) {
    std::vector<ConnectionId> expired;
    for (Connection& connection : m_connections) {
        if (connection.stage == Stage::Silent && now - connection.acceptedAt >= m_limits.silentTimeout) {
            expired.push_back(connection.id);
        } else if (connection.stage == Stage::Partial && now >= PartialDeadline(connection)) {
            // A request that trickles in is judged on what came by its deadline.
            Complete(connection);
        }
    }
    for (const ConnectionId id : expired) {
        Close(id);
    }
    std::vector<std::string> crowded;
    for (const Connection& connection : m_connections) {
        if (IsIncomplete(connection) && IncompleteOf(connection.peer) > m_limits.maxIncompletePerPeer &&
            std::find(crowded.begin(), crowded.end(), connection.peer) == crowded.end()) {
            crowded.push_back(connection.peer);
        }
    }
    for (const std::string& peer : crowded) {
        TrimPeer(peer, now);
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
            consider(PartialDeadline(connection));
        }
        if (IsIncomplete(connection) && IncompleteOf(connection.peer) > m_limits.maxIncompletePerPeer) {
            consider(connection.acceptedAt + m_limits.peerGrace);
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
