#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/net/ConnectionPolicy.h"
#include "core/net/ListenAddress.h"
#include "core/settings/MonitorSettings.h"

namespace {

using Id = ConnectionPolicy::ConnectionId;
using Ms = ConnectionPolicy::Milliseconds;
using Kind = ConnectionPolicy::Action::Kind;

// One thing that happens to the policy. Reply is the front end finishing the open answer; the events
// between an Answer and its Reply arrive while the answer is being composed (a nested event loop).
struct Step {
    enum class What { Accept, Data, ScrapeData, Refuse, End, Gone, Clock, Reply, Wake } what;
    Id id = 0;
    Ms at = 0;
    std::string bytes; // Accept: the peer
};

Step Accept(Id id, Ms at = 0) {
    return {Step::What::Accept, id, at, "peer"};
}
Step AcceptFrom(Id id, std::string peer, Ms at = 0) {
    return {Step::What::Accept, id, at, std::move(peer)};
}
Step Data(Id id, std::string bytes, Ms at = 0) {
    return {Step::What::Data, id, at, std::move(bytes)};
}
// Data while scrape requests are read to the end of their head.
Step ScrapeData(Id id, std::string bytes, Ms at = 0) {
    return {Step::What::ScrapeData, id, at, std::move(bytes)};
}
Step Refuse(Id id, Ms at = 0) {
    return {Step::What::Refuse, id, at, {}};
}
Step End(Id id) {
    return {Step::What::End, id, 0, {}};
}
Step Gone(Id id) {
    return {Step::What::Gone, id, 0, {}};
}
Step Clock(Ms at) {
    return {Step::What::Clock, 0, at, {}};
}
Step Reply(Id id) {
    return {Step::What::Reply, id, 0, {}};
}
Step Wake() {
    return {Step::What::Wake, 0, 0, {}};
}

// Runs the steps, carrying out the policy's actions after each, and logs them one per line:
// "close 2", "answer 1 [GET /x\n]", "refuse 1", "reply 1", "nowhere 1", "wake 10000", "wake none".
std::string Run(const std::vector<Step>& steps, ConnectionPolicy::Limits limits = {}) {
    ConnectionPolicy policy(limits);
    std::string log;
    for (const Step& step : steps) {
        switch (step.what) {
        case Step::What::Accept:
            policy.Accepted(step.id, step.bytes, step.at);
            break;
        case Step::What::Data:
            policy.DataArrived(step.id, step.bytes, step.at, ConnectionPolicy::Reading::Judge);
            break;
        case Step::What::ScrapeData:
            policy.DataArrived(step.id, step.bytes, step.at, ConnectionPolicy::Reading::JudgeWithScrapes);
            break;
        case Step::What::Refuse:
            policy.DataArrived(step.id, {}, step.at, ConnectionPolicy::Reading::RefuseUnread);
            break;
        case Step::What::End:
            policy.InputEnded(step.id);
            break;
        case Step::What::Gone:
            policy.PeerClosed(step.id);
            break;
        case Step::What::Clock:
            policy.TimePassed(step.at);
            break;
        case Step::What::Reply:
            log += (policy.Answered(step.id) ? "reply " : "nowhere ") + std::to_string(step.id) + "\n";
            break;
        case Step::What::Wake: {
            const auto wake = policy.NextWake();
            log += "wake " + (wake ? std::to_string(*wake) : std::string("none")) + "\n";
            break;
        }
        }
        while (const auto action = policy.NextAction()) {
            if (action->kind == Kind::Close) {
                log += "close " + std::to_string(action->id) + "\n";
            } else if (action->reading == ConnectionPolicy::Reading::RefuseUnread) {
                log += "refuse " + std::to_string(action->id) + "\n";
            } else {
                log += "answer " + std::to_string(action->id) + " [" + action->request + "]\n";
            }
        }
    }
    return log;
}

struct Case {
    const char* name;
    std::vector<Step> steps;
    std::string log;
    ConnectionPolicy::Limits limits = {};
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.steps, c.limits), c.log) << c.name;
    }
}

} // namespace

TEST(ConnectionPolicy, AnswersInTheOrderRequestsBecameCompleteNeverBehindSilentOnes) {
    RunCases({
        {"a request behind silent connections is answered at once",
         {Accept(1), Accept(2), Accept(3), Data(3, "GET /c\r\n", 10)},
         "answer 3 [GET /c\r\n]\n"},
        {"one answer at a time, then by completion, not by accept",
         {Accept(1), Accept(2), Accept(3), Data(3, "GET /c\n", 10), Data(2, "GET /b", 20), Data(1, "GET /a\n", 30),
          Data(2, "\n", 40), Reply(3), Reply(1), Reply(2)},
         "answer 3 [GET /c\n]\n"
         "reply 3\nclose 3\nanswer 1 [GET /a\n]\n"
         "reply 1\nclose 1\nanswer 2 [GET /b\n]\n"
         "reply 2\nclose 2\n"},
        {"bytes after the request are ignored",
         {Accept(1), Data(1, "GET /a\n"), Data(1, "more"), Reply(1)},
         "answer 1 [GET /a\n]\nreply 1\nclose 1\n"},
        {"a reply for a connection that is not being answered goes nowhere",
         {Accept(1), Reply(1), Data(1, "GET /a\n"), Reply(2), Reply(1), Reply(1)},
         "nowhere 1\nanswer 1 [GET /a\n]\nnowhere 2\nreply 1\nclose 1\nnowhere 1\n"},
    });
}

TEST(ConnectionPolicy, RequestIsCompleteAtLineFeedAtTheByteLimitOrAfterAQuietPeriod) {
    const std::string kilobyte(1024, 'a');
    RunCases({
        {"a request split before its line feed",
         {Accept(1), Data(1, "GET /re", 0), Data(1, "new HTTP/1.1\r\n", 50)},
         "answer 1 [GET /renew HTTP/1.1\r\n]\n"},
        {"what came with the line feed stays part of the request",
         {Accept(1), Data(1, "GET /renew HTTP/1.1\r\nHost: x\r\n\r\n")},
         "answer 1 [GET /renew HTTP/1.1\r\nHost: x\r\n\r\n]\n"},
        {"a request without line feed, quiet from its last piece on",
         {Accept(1), Data(1, "GET /re", 0), Clock(150), Data(1, "new", 150), Clock(349), Clock(350)},
         "answer 1 [GET /renew]\n"},
        {"a request that trickles in is judged on what came two seconds after its first byte",
         {Accept(1, 0), Data(1, "G", 5000), Data(1, "E", 5150), Clock(5299), Data(1, "T", 5300), Clock(5450),
          Data(1, " ", 5600), Clock(5750), Data(1, "/", 5900), Clock(6050), Data(1, "r", 6999), Wake(), Clock(7000)},
         "wake 7000\nanswer 1 [GET /r]\n"},
        {"one that begins just before the silent deadline is judged at it",
         {Accept(1, 0), Data(1, "G", 9900), Data(1, "E", 9990), Clock(10000)},
         "answer 1 [GE]\n"},
        {"the byte limit over several pieces",
         {Accept(1), Data(1, kilobyte.substr(0, 1000)), Data(1, std::string(100, 'b'))},
         "answer 1 [" + kilobyte.substr(0, 1000) + std::string(24, 'b') + "]\n"},
        {"one piece beyond the byte limit",
         {Accept(1), Data(1, kilobyte + "GET /x\n")},
         "answer 1 [" + kilobyte + "]\n"},
        {"the end of the peer's sending completes a begun request",
         {Accept(1), Data(1, "GET /renew"), End(1)},
         "answer 1 [GET /renew]\n"},
        {"an empty piece is no data", {Accept(1, 0), Data(1, "", 50), Clock(9999), Clock(10000)}, "close 1\n"},
    });
}

TEST(ConnectionPolicy, ScrapeRequestIsCompleteAtTheEndOfItsHead) {
    RunCases({
        {"the header lines of a scrape are waited for",
         {Accept(1), ScrapeData(1, "GET /metrics HTTP/1.1\r\nHost: x\r\n"), Wake(),
          ScrapeData(1, "Authorization: Bearer pw\r\n\r\n")},
         "wake 200\nanswer 1 [GET /metrics HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer pw\r\n\r\n]\n"},
        {"a head ended by bare line feeds",
         {Accept(1), ScrapeData(1, "GET /status.json/pw\n\n")},
         "answer 1 [GET /status.json/pw\n\n]\n"},
        {"a head that never ends is judged after the quiet period",
         {Accept(1), ScrapeData(1, "GET /metrics HTTP/1.1\r\n", 0), Clock(199), Clock(200)},
         "answer 1 [GET /metrics HTTP/1.1\r\n]\n"},
        {"any other request is complete at its first line feed",
         {Accept(1), ScrapeData(1, "GET /renew HTTP/1.1\r\n")},
         "answer 1 [GET /renew HTTP/1.1\r\n]\n"},
        {"without scrapes a scrape line is complete at its line feed too",
         {Accept(1), Data(1, "GET /metrics HTTP/1.1\r\n")},
         "answer 1 [GET /metrics HTTP/1.1\r\n]\n"},
    });
}

TEST(ConnectionPolicy, RefusesUnreadRequestsAtTheFirstByte) {
    RunCases({
        {"anything sent gets the refusal without waiting for a line feed",
         {Accept(1), Accept(2), Refuse(2, 5), Reply(2)},
         "refuse 2\nreply 2\nclose 2\n"},
        {"a begun request is refused when reading stops", {Accept(1), Data(1, "GET /re"), Refuse(1)}, "refuse 1\n"},
        {"a silent connection is not refused, it times out", {Accept(1, 0), Clock(10000)}, "close 1\n"},
    });
}

TEST(ConnectionPolicy, SilentConnectionIsClosedTenSecondsAfterItsAccept) {
    RunCases({
        {"deadline measured from accept",
         {Accept(1, 1000), Wake(), Clock(10999), Clock(11000)},
         "wake 11000\nclose 1\n"},
        {"each connection its own deadline",
         {Accept(1, 0), Accept(2, 4000), Clock(10000), Wake(), Clock(14000), Wake()},
         "close 1\nwake 14000\nclose 2\nwake none\n"},
        {"a peer that closes without sending is closed at once", {Accept(1), End(1), Clock(10000)}, "close 1\n"},
        {"the next wake-up is the nearest of the deadlines and quiet periods",
         {Accept(1, 0), Accept(2, 100), Data(2, "GET", 300), Wake(), Clock(500), Wake(), Data(1, "GET /x\n", 600),
          Wake()},
         "wake 500\nanswer 2 [GET]\nwake 10000\nwake none\n"},
        {"shorter limits from the front end",
         {Accept(1, 0), Data(1, "x", 10), Accept(2, 20), Wake(), Clock(60), Clock(320)},
         "wake 60\nanswer 1 [x]\nclose 2\n",
         {300, 50, 64}},
    });
}

TEST(ConnectionPolicy, OverItsLimitsTheLongestIncompleteConnectionMakesRoomNeverTheNewcomer) {
    const ConnectionPolicy::Limits capThree{10000, 200, 3};
    RunCases({
        {"at the cap the longest incomplete goes, a begun request as well as a silent one",
         {Accept(1), Accept(2), Accept(3), Data(1, "GET"), Accept(4), Accept(5)},
         "close 1\nclose 2\n",
         capThree},
        {"silent, then trickling: pushed out before the newcomer that asks at once",
         {AcceptFrom(1, "a", 0), AcceptFrom(2, "b", 0), AcceptFrom(3, "c", 0), Data(1, "G", 9000), Data(2, "G", 9000),
          Data(3, "G", 9000), AcceptFrom(4, "d", 9100), Data(4, "GET /renew\n", 9100), AcceptFrom(5, "e", 9150)},
         "close 1\nanswer 4 [GET /renew\n]\nclose 2\n",
         capThree},
        {"when every open connection has a complete request the newcomer is closed",
         {Accept(1), Accept(2), Accept(3), Data(1, "GET /a\n"), Data(2, "GET /b\n"), Data(3, "GET /c\n"), Accept(4)},
         "answer 1 [GET /a\n]\nclose 4\n",
         capThree},
        {"the connection being answered counts until it is closed",
         {Accept(1), Data(1, "GET /a\n"), Accept(2), Accept(3), Accept(4), Reply(1), Accept(5)},
         "answer 1 [GET /a\n]\nclose 2\nreply 1\nclose 1\n",
         capThree},
        {"at the cap a peer over its limit makes room first, though others have waited longer",
         {AcceptFrom(1, "a"), AcceptFrom(2, "x"), AcceptFrom(3, "x"), AcceptFrom(4, "x")},
         "close 2\n",
         {10000, 200, 3, 2000, 2}},
        {"a peer's crowd is cut to its limit once past the grace, longest incomplete first, never the newcomer",
         {AcceptFrom(1, "x", 0), AcceptFrom(2, "y", 0), AcceptFrom(3, "x", 0), AcceptFrom(4, "x", 500), Wake(),
          Clock(999), Clock(1000), AcceptFrom(5, "x", 1600), Data(5, "GET /renew\n", 1600)},
         "wake 1000\nclose 1\nclose 3\nanswer 5 [GET /renew\n]\n",
         {10000, 200, 64, 2000, 2, 1000}},
    });
}

TEST(ConnectionPolicy, PeerKeyCountsIpv6ByItsNetworkAndMappedAddressesAsIpv4) {
    const auto key = [](std::vector<std::uint8_t> bytes) { return ConnectionPolicy::PeerKey(bytes); };
    const std::vector<std::uint8_t> host = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(key({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1}), key({127, 0, 0, 1}));
    EXPECT_NE(key({127, 0, 0, 2}), key({127, 0, 0, 1}));
    EXPECT_EQ(key({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 9, 9, 9, 9, 9, 9, 9, 9}), key(host));
    EXPECT_NE(key({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1}), key(host));
}

TEST(ConnectionPolicy, ReplyGoesOnlyToTheConnectionWhoseRequestItAnswers) {
    RunCases({
        {"closed while its answer is composed: nothing, and the next gets its own",
         {Accept(1), Accept(2), Data(1, "GET /renew\n"), Gone(1), Data(2, "GET /x/wrong\n"), Reply(1), Reply(2)},
         "answer 1 [GET /renew\n]\nclose 1\nnowhere 1\nanswer 2 [GET /x/wrong\n]\nreply 2\nclose 2\n"},
        {"the silent deadline passes while its answer is composed: it keeps its reply",
         {Accept(1, 0), Accept(2, 0), Data(1, "GET /renew\n", 10), Clock(10000), Accept(3, 10000),
          Data(3, "GET /x\n", 10100), Reply(1), Reply(3)},
         "answer 1 [GET /renew\n]\nclose 2\nreply 1\nclose 1\nanswer 3 [GET /x\n]\nreply 3\nclose 3\n"},
        {"a peer that stops sending after its request is still answered",
         {Accept(1), Data(1, "GET /renew\n"), End(1), Reply(1)},
         "answer 1 [GET /renew\n]\nreply 1\nclose 1\n"},
        {"a queued request whose connection is reset is dropped",
         {Accept(1), Accept(2), Data(1, "GET /a\n"), Data(2, "GET /b\n"), Gone(2), Reply(1)},
         "answer 1 [GET /a\n]\nclose 2\nreply 1\nclose 1\n"},
        {"an id used again after its close is a new connection",
         {Accept(1), Data(1, "GET /a\n"), Gone(1), Accept(1), Reply(1), Data(1, "GET /b\n"), Reply(1)},
         "answer 1 [GET /a\n]\nclose 1\nnowhere 1\nanswer 1 [GET /b\n]\nreply 1\nclose 1\n"},
    });
}

// Whatever happens, every accepted connection is closed exactly once, nothing is closed that was never
// accepted, and no answer starts while another is open.
TEST(ConnectionPolicy, RandomEventsNeverLeakOrDoubleCloseOrOverlapAnswers) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        ConnectionPolicy policy({1000, 50, 8, 400, 3, 100});
        std::map<Id, int> closes;
        std::vector<Id> accepted;
        std::optional<Id> open;
        Ms now = 0;
        Id nextId = 1;
        const auto drain = [&] {
            while (const auto action = policy.NextAction()) {
                if (action->kind == Kind::Close) {
                    ++closes[action->id];
                } else {
                    ASSERT_FALSE(open.has_value()) << "round " << round;
                    EXPECT_LE(action->request.size(), 1024U);
                    open = action->id;
                }
            }
        };
        for (int event = 0; event < 300; ++event) {
            const Id someone = accepted.empty() ? 0 : accepted[random() % accepted.size()];
            switch (random() % 8) {
            case 0:
                accepted.push_back(nextId);
                policy.Accepted(nextId++, std::string(1, static_cast<char>('a' + random() % 3)), now);
                break;
            case 1:
                policy.DataArrived(someone, random() % 3 == 0 ? "GET /x\n" : "GE", now,
                                   ConnectionPolicy::Reading::Judge);
                break;
            case 2:
                policy.DataArrived(someone, {}, now, ConnectionPolicy::Reading::RefuseUnread);
                break;
            case 3:
                policy.InputEnded(someone);
                break;
            case 4:
                policy.PeerClosed(someone);
                break;
            case 5:
                if (open) {
                    policy.Answered(*open);
                    open.reset();
                }
                break;
            default:
                now += static_cast<Ms>(random() % 300);
                policy.TimePassed(now);
                break;
            }
            drain();
            EXPECT_LE(policy.OpenConnections(), 8U);
        }
        // Let everything run out.
        for (int i = 0; i < 100 && policy.OpenConnections() > 0; ++i) {
            if (open) {
                policy.Answered(*open);
                open.reset();
            }
            now += 1000;
            policy.TimePassed(now);
            drain();
        }
        EXPECT_EQ(policy.OpenConnections(), 0U) << "round " << round;
        EXPECT_FALSE(policy.NextWake().has_value());
        for (const Id id : accepted) {
            EXPECT_EQ(closes[id], 1) << "connection " << id << " in round " << round;
        }
        EXPECT_EQ(closes.size(), accepted.size());
    }
}

// Both socket front ends read what the settings ask for now, and listen only on a port in range.
TEST(PortRulesTest, ReadingFollowsTheSettingsAndThePortMustBeInRange) {
    using Reading = ConnectionPolicy::Reading;
    const struct {
        int netWork, metrics;
        Reading expected;
    } readings[] = {{0, 0, Reading::RefuseUnread},
                    {1, 0, Reading::Judge},
                    {0, 1, Reading::JudgeWithScrapes},
                    {1, 1, Reading::JudgeWithScrapes}};
    for (const auto& c : readings) {
        MonitorSettings settings;
        settings.NetWork = c.netWork;
        settings.HttpMetrics = c.metrics;
        EXPECT_EQ(ConnectionPolicy::ReadingFor(settings), c.expected) << c.netWork << c.metrics;
    }
    EXPECT_EQ(PortOutsideRange(0), std::nullopt);
    EXPECT_EQ(PortOutsideRange(65535), std::nullopt);
    EXPECT_EQ(PortOutsideRange(-1), "Port -1 is outside 0..65535");
    EXPECT_EQ(PortOutsideRange(65536, "Port="), "Port=65536 is outside 0..65535");
}
