#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class Monitor;
struct MonitorSettings;

// When the connections of the command port are read, answered and closed. A front end owns the sockets,
// reports what happens to them under ids of its own choosing, with the time from a monotonic clock, and
// carries out the actions this policy asks for; the policy itself never touches a socket.
//
// Every connection is accepted. A request is complete at its first line feed (a scrape request, while
// those are read, at the empty line that ends its head), at kMaxRequestBytes, after a quiet period without
// new data, a short deadline after its first byte however it trickles, or when its peer stops sending.
// Complete requests are answered one at a time, in the order they became complete, so a client that has
// sent its request never waits behind silent or trickling ones. A connection that has sent nothing is
// closed a fixed time after its accept.
//
// Incomplete connections (silent, or with a begun request) are limited twice. One peer holds only a few:
// those beyond that number are closed once they have had a moment to ask. All connections together are
// capped: at the cap a peer over its limit makes room first, and otherwise whoever has been incomplete
// longest. The newcomer never goes, as it may be a legitimate client among one attacker's crowd, unless every
// other open connection has a complete request. A front end hands over what a connection has already sent
// right after its Accepted, so that a prompt client is complete before further accepts can push it out. A reply goes
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
    // Most bytes a front end takes from a connection per notification; what a request does not need is dropped.
    static constexpr std::size_t kMaxReadBytes = 64 * 1024;
    // Backlog of the listening socket. Connections wait there only until the next turn of the agent's loop,
    // but a crowd being pushed out and coming back fills a short one, and the kernel then holds every
    // further client back for a second or more.
    static constexpr int kListenBacklog = 511;
    // A front end accepts at most this many connections before it lets those already accepted be read: the
    // connections it takes push others out, a crowd comes straight back, and without a pause a prompt client
    // would be pushed out before its request had been read.
    static constexpr int kAcceptsPerTurn = 16;

    struct Limits {
        Milliseconds silentTimeout = 10000;   // a connection that has sent nothing is closed this long after accept
        Milliseconds quietPeriod = 200;       // a request without a line feed is complete after this long without data
        std::size_t maxOpen = 64;             // open connections, the one being answered included
        Milliseconds requestDeadline = 2000;  // a begun request is complete this long after its first byte
        std::size_t maxIncompletePerPeer = 8; // silent or begun connections of one peer (PeerKey) ...
        Milliseconds peerGrace = 1000;        // ... that are this old: a burst that asks at once is served whole
    };

    // How the request of a connection is answered.
    enum class Reading {
        Judge,            // the request text is decided
        JudgeWithScrapes, // as Judge, but a scrape request is complete only at the end of its head
        RefuseUnread,     // requests are not being read: the bare NotFound line, whatever was sent
    };
    // How a request arriving now is read under the settings as they are now (ReadsRequests, ReadsScrapes).
    static Reading ReadingFor(const MonitorSettings& settings);

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

    // The key under which the connections of one peer are counted, from its raw address (4 bytes IPv4,
    // 16 bytes IPv6): an IPv6 address counts by its /64 network, which one host usually holds whole, an
    // IPv4-mapped one as the IPv4 address. Other sizes are taken as they are.
    static std::string PeerKey(std::span<const std::uint8_t> address);

    // A connection from peer (a PeerKey) has been accepted. Over the cap the connection that has been
    // incomplete longest is closed, of a peer over its limit if there is one; when every other open connection
    // has a complete request, the new one is closed at once.
    void Accepted(ConnectionId id, std::string_view peer, Milliseconds now);
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
        std::string peer;
        Milliseconds acceptedAt = 0;
        Milliseconds firstDataAt = 0;
        Milliseconds lastDataAt = 0;
        Stage stage = Stage::Silent;
        Reading reading = Reading::Judge;
        std::string request;
    };

    Connection* Find(ConnectionId id);
    // When a begun request is complete without further bytes.
    Milliseconds PartialDeadline(const Connection& connection) const;
    static bool IsIncomplete(const Connection& connection);
    std::size_t IncompleteOf(const std::string& peer) const;
    // The connection that has been incomplete longest, of peer (any when null), only of a peer over its limit
    // when overLimit; nullptr when there is none.
    const Connection* LongestIncomplete(const std::string* peer, bool overLimit) const;
    // Closes the peer's connections beyond its limit that are past the grace, longest incomplete first.
    void TrimPeer(const std::string& peer, Milliseconds now);
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
