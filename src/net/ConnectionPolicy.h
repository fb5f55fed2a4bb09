#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Monitor;

// When the connections of the command port are read, answered and closed. A front end owns the sockets,
// reports what happens to them under ids of its own choosing, with the time from a monotonic clock, and
// carries out the actions this policy asks for; the policy itself never touches a socket.
//
// Every connection is accepted. A request is complete at its first line feed (a scrape request, while
// those are read, at the empty line that ends its head), at kMaxRequestBytes, after a
// quiet period without new data, or when its peer stops sending. Complete requests are answered one at a
// time, in the order they became complete, so a client that has sent its request never waits behind silent
// ones. A connection that has sent nothing is closed a fixed time after its accept. The number of open
// connections is capped: at the cap the oldest silent connection makes room for a new one. A reply goes
// only to the connection whose request it answers, and nowhere once that connection has gone.
//
// Events may arrive while a request is being answered (the answer can run a nested event loop); they are
// taken in, and no second answer starts before the first is finished.
class ConnectionPolicy {
public:
    using ConnectionId = std::uint64_t;
    using Milliseconds = std::int64_t;

    // A close first reads and drops up to this much unread input: unread input at the close makes the
    // kernel reset the connection, which can destroy the reply before the client has read it.
    static constexpr std::size_t kMaxDrainBytes = 64 * 1024;
    // A closed connection whose peer does not take the last bytes is cut off after this long.
    static constexpr Milliseconds kFlushGrace = 5000;

    struct Limits {
        Milliseconds silentTimeout = 10000; // a connection that has sent nothing is closed this long after accept
        Milliseconds quietPeriod = 200;     // a request without a line feed is complete after this long without data
        std::size_t maxOpen = 64;           // open connections, the one being answered included
    };

    // How the request of a connection is answered.
    enum class Reading {
        Judge,            // the request text is decided
        JudgeWithScrapes, // as Judge, but a scrape request is complete only at the end of its head
        RefuseUnread,     // requests are not being read: the bare NotFound line, whatever was sent
    };

    // What the front end is to do next.
    struct Action {
        enum class Kind {
            Close,  // close the connection; no reply is sent on it any more
            Answer, // compose the reply of this request, then report Answered(id)
        };
        Kind kind = Kind::Close;
        ConnectionId id = 0;
        Reading reading = Reading::Judge; // Answer only
        std::string request;              // Answer with Judge: the bytes received, at most kMaxRequestBytes
    };

    ConnectionPolicy() = default;
    explicit ConnectionPolicy(const Limits& limits) : m_limits(limits) {}

    const Limits& GetLimits() const { return m_limits; }
    // Takes effect for connections accepted from now on and for the deadlines checked from now on.
    void SetLimits(const Limits& limits) { m_limits = limits; }

    // A connection has been accepted. At the cap the oldest silent connection is closed first; when every
    // open connection has sent something, the new one is closed at once.
    void Accepted(ConnectionId id, Milliseconds now);
    // Bytes have arrived on a connection. With RefuseUnread the bytes need not be read (pass none): anything
    // sent makes the request complete. Bytes after a complete request are ignored.
    void DataArrived(ConnectionId id, std::string_view bytes, Milliseconds now, Reading reading);
    // The peer has stopped sending (an orderly end of its side): a silent connection is closed, a begun
    // request is complete, a complete one is still answered.
    void InputEnded(ConnectionId id);
    // The connection is gone (reset or failed): it gets no reply, also when its request is being answered.
    void PeerClosed(ConnectionId id);
    // The clock has moved on: deadlines that have passed take effect.
    void TimePassed(Milliseconds now);

    // The next action to carry out; nullopt when there is nothing to do before the next event. An Answer is
    // handed out only while no other answer is open.
    std::optional<Action> NextAction();
    // The reply to the open answer of id is ready. True when it is to be sent on id (then close id, which
    // NextAction also asks for); false when the connection has gone meanwhile: the reply goes nowhere.
    bool Answered(ConnectionId id);
    // When TimePassed has something to do next; nullopt while no deadline is pending.
    std::optional<Milliseconds> NextWake() const;

    // What an adapter does after every event: carries out each action there is, close(id) for a close and,
    // for an answer, the reply ReplyTo composes handed to send(id, reply) unless its connection went
    // meanwhile. Entered again from a nested event loop while a reply is composed, it carries out closes only.
    // Returns how long from now() the adapter may sleep before TimePassed (0 to INT_MAX ms), nullopt for
    // as long as it likes.
    std::optional<Milliseconds> CarryOut(Monitor& monitor, const std::function<void(ConnectionId)>& close,
                                         const std::function<void(ConnectionId, const std::string&)>& send,
                                         const std::function<Milliseconds()>& now);

    // Connections accepted and not yet closed.
    std::size_t OpenConnections() const { return m_connections.size(); }

private:
    enum class Stage {
        Silent,    // nothing received yet
        Partial,   // a begun request
        Complete,  // waiting for its answer
        Answering, // its answer is open
    };

    struct Connection {
        ConnectionId id = 0;
        Milliseconds acceptedAt = 0;
        Milliseconds lastDataAt = 0;
        Stage stage = Stage::Silent;
        Reading reading = Reading::Judge;
        std::string request;
    };

    Connection* Find(ConnectionId id);
    void Complete(Connection& connection);
    // Forgets the connection and asks for its close.
    void Close(ConnectionId id);

    Limits m_limits;
    std::vector<Connection> m_connections; // in accept order
    std::deque<ConnectionId> m_ready;      // complete requests in the order they became complete
    std::deque<ConnectionId> m_closes;     // closes not yet handed out
    std::optional<ConnectionId> m_answering;
    bool m_answeringOpen = false; // the connection of the open answer is still there
};
