#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <future>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "AgentProcess.h"
#include "FakePlatform.h"
#include "TempDir.h"
#include "core/capacity/Monitor.h"
#include "core/net/CommandListener.h"
#include "platform/posix/PollLoop.h"

namespace {

using namespace std::chrono_literals;

const std::string kNotFound = "HTTP/1.1 404 Not Found";

// Runs the loop until the condition holds or the timeout passes.
bool SpinUntil(PollLoop& loop, const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    std::unique_ptr<EventTimer> check;
    check = loop.CreateTimer([&] {
        if (condition() || std::chrono::steady_clock::now() >= end) {
            loop.Quit(0);
        } else {
            check->Start(5ms);
        }
    });
    check->Start(0ms);
    loop.Run();
    return condition();
}

int OpenDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir) != nullptr) {
        ++count;
    }
    closedir(dir);
    return count;
}

// Reads until the peer closes or the timeout passes; "<open>" is appended when the peer has not closed.
std::string ReadToEnd(int fd, std::chrono::milliseconds timeout = 5s) {
    std::string received;
    if (ReadUntilClosed(fd, received, timeout) == ReadEnd::TimedOut) {
        received += "<open>";
    }
    return received;
}

// The system's sockets, whose sends take at most a few bytes and every other one nothing; stalled, they take
// nothing after the first few bytes.
class TrickleSockets final : public Sockets {
public:
    Listening Listen(int port, const std::string& address, int backlog) override {
        return m_real->Listen(port, address, backlog);
    }
    int LocalPort(Descriptor listening) override { return m_real->LocalPort(listening); }
    Descriptor Accept(Descriptor listening, Peer& peer) override { return m_real->Accept(listening, peer); }
    std::ptrdiff_t Receive(Descriptor connection, char* buffer, std::size_t size) override {
        return m_real->Receive(connection, buffer, size);
    }
    std::ptrdiff_t Send(Descriptor connection, const char* data, std::size_t size) override {
        if ((m_sends++ % 2 == 1) || (stalled && m_sends > 1)) {
            return kWouldBlock;
        }
        return m_real->Send(connection, data, std::min<std::size_t>(size, 5));
    }
    void ShutdownSending(Descriptor connection) override { m_real->ShutdownSending(connection); }
    void Close(Descriptor socket) override { m_real->Close(socket); }

    bool stalled = false;

private:
    std::unique_ptr<Sockets> m_real = CreateSockets();
    int m_sends = 0;
};

class CommandListenerTest : public ::testing::Test {
protected:
    CommandListenerTest() {
        m_platform.AddDrive('C', 1000, 250);
        m_monitor.Settings().Path = m_dir.Folder();
        m_monitor.Settings().Directory = "C";
        m_monitor.Settings().NetWork = 1;
        m_port = FreePort();
        EXPECT_TRUE(m_listener.StartListening(m_port));
    }

    // One request on a client thread while the agent's loop runs; what came back before the close.
    std::string Exchange(const std::string& request) {
        auto reply = std::async(std::launch::async, [this, request] { return HttpExchange(m_port, request, 5s); });
        SpinUntil(m_loop, [&] { return reply.wait_for(0s) == std::future_status::ready; });
        return reply.get();
    }

    TempDir m_dir;
    FakePlatform m_platform;
    Monitor m_monitor{m_platform, m_dir.Folder() + "tarvellin.ini"};
    PollLoop m_loop;
    std::unique_ptr<Sockets> m_sockets = CreateSockets();
    CommandListener m_listener{m_monitor, m_loop, *m_sockets};
    int m_port = 0;
};

} // namespace

TEST_F(CommandListenerTest, NetWorkOffAnswersTheBareLineWithoutRefreshing) {
    m_monitor.Settings().NetWork = 0;
    EXPECT_EQ(Exchange("GET /renew HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_EQ(m_platform.saves, 0);
    EXPECT_EQ(m_platform.capacityQueries, 0);
}

TEST_F(CommandListenerTest, SettingsAreReadAtEachRequest) {
    const std::string page = Exchange("GET /renew HTTP/1.1\r\n\r\n");
    EXPECT_EQ(page.rfind("<html><body>", 0), 0U) << page;
    EXPECT_NE(page.find("C\xe3\x83\x89\xe3\x83\xa9\xe3\x82\xa4\xe3\x83\x96"), std::string::npos) << page;
    EXPECT_EQ(m_platform.saves, 1);

    m_monitor.Settings().NetWork = 0;
    EXPECT_EQ(Exchange("GET /renew HTTP/1.1\r\n\r\n"), kNotFound);
    m_monitor.Settings().NetWork = 1;
    m_monitor.Settings().Pass = "pw";
    EXPECT_EQ(Exchange("GET /renew HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_EQ(Exchange("GET /renew/pw HTTP/1.1\r\n\r\n").rfind("<html>", 0), 0U);
    m_monitor.Settings().HttpHeaders = 1;
    EXPECT_EQ(Exchange("GET /x HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(m_platform.saves, 2);
}

TEST_F(CommandListenerTest, HostileRequestsGetTheirReplyWhole) {
    struct Case {
        std::string request;
        bool page;
    };
    const std::vector<Case> cases = {
        {"G", false},
        {"GET /", false},
        {std::string("GET /re\0new HTTP/1.1\r\n", 22), false},
        {"get /renew HTTP/1.1\r\n", false},
        {"GET /renew HTTP/1.1\r\nX: " + std::string(1000, 'x'), true}, // exactly 1024 bytes
        {"GET /renew HTTP/1.1\r\n" + std::string(20000, 'h'), true},   // the rest is never read
        {"GET /" + std::string(1000, 'a') + " HTTP/1.1\r\n", false},
        {"GET /" + std::string(3000, '/'), false},
        {std::string(2000, '\xff'), false},
    };
    for (const Case& c : cases) {
        const std::string reply = Exchange(c.request);
        if (c.page) {
            EXPECT_EQ(reply.rfind("<html><body>", 0), 0U) << c.request.size();
            EXPECT_NE(reply.find("</body></html>"), std::string::npos) << c.request.size();
        } else {
            EXPECT_EQ(reply, kNotFound) << c.request.size();
        }
    }
}

TEST_F(CommandListenerTest, SilentClientsDoNotDelayOthersAndAreClosedAfterTheIdleTime) {
    m_listener.SetIdleTimeout(400);
    const auto start = std::chrono::steady_clock::now();
    std::vector<int> silent;
    for (int i = 0; i < 3; ++i) {
        silent.push_back(ConnectLoopback(m_port));
        ASSERT_GE(silent.back(), 0);
    }
    SpinUntil(
        m_loop, [] { return false; }, 50ms);
    // A client that sends its request is answered at once, however many silent ones came before it.
    auto second = std::async(std::launch::async, [this] { return HttpExchange(m_port, "GET /x HTTP/1.1\r\n", 5s); });
    SpinUntil(m_loop, [&] { return second.wait_for(0s) == std::future_status::ready; });
    EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(second.get(), kNotFound);
    // The silent ones are closed without a reply once the idle time has passed since their accept.
    EXPECT_TRUE(SpinUntil(
        m_loop, [&] { return std::all_of(silent.begin(), silent.end(), PeerHasClosed); }, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 350ms);
    for (const int fd : silent) {
        EXPECT_EQ(ReadToEnd(fd, 1s), "");
        close(fd);
    }
    EXPECT_EQ(m_listener.OpenConnections(), 0U);
}

TEST_F(CommandListenerTest, ClientsThatVanishDoNotDisturbTheNext) {
    // Closes at once, sends and resets before the reply, half-closes after sending.
    const int closesAtOnce = ConnectLoopback(m_port);
    close(closesAtOnce);
    const int resets = ConnectLoopback(m_port);
    const std::string request = "GET /renew HTTP/1.1\r\n\r\n";
    send(resets, request.data(), request.size(), MSG_NOSIGNAL);
    linger hardClose{1, 0};
    setsockopt(resets, SOL_SOCKET, SO_LINGER, &hardClose, sizeof hardClose);
    close(resets);
    const int halfCloses = ConnectLoopback(m_port);
    send(halfCloses, request.data(), request.size(), MSG_NOSIGNAL);
    shutdown(halfCloses, SHUT_WR);
    std::string halfClosedReply;
    auto reader = std::async(std::launch::async, [&] { return ReadToEnd(halfCloses); });
    SpinUntil(m_loop, [&] { return reader.wait_for(0s) == std::future_status::ready; });
    EXPECT_EQ(reader.get().rfind("<html>", 0), 0U);
    close(halfCloses);
    EXPECT_EQ(Exchange("GET /renew HTTP/1.1\r\n\r\n").rfind("<html>", 0), 0U);
}

TEST_F(CommandListenerTest, ServesFiftyAtOnceAndAThousandInARowWithoutLeakingDescriptors) {
    const int before = OpenDescriptors();

    // A burst is held back by the kernel for a second or more where it overflows the backlog: long timeouts.
    std::vector<std::future<std::string>> clients;
    for (int i = 0; i < 50; ++i) {
        clients.push_back(
            std::async(std::launch::async, [this] { return HttpExchange(m_port, "GET /x HTTP/1.1\r\n\r\n", 60s); }));
    }
    for (auto& client : clients) {
        SpinUntil(
            m_loop, [&] { return client.wait_for(0s) == std::future_status::ready; }, 90s);
        EXPECT_EQ(client.get(), kNotFound);
    }

    auto serial = std::async(std::launch::async, [this] {
        int good = 0;
        for (int i = 0; i < 1000; ++i) {
            good += HttpExchange(m_port, "GET /x HTTP/1.1\r\n\r\n", 5s) == kNotFound ? 1 : 0;
        }
        return good;
    });
    SpinUntil(
        m_loop, [&] { return serial.wait_for(0s) == std::future_status::ready; }, 120s);
    EXPECT_EQ(serial.get(), 1000);

    EXPECT_EQ(m_listener.OpenConnections(), 0U);
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(CommandListenerPort, RefusesPortsOutOfRangeOrInUse) {
    TempDir dir;
    FakePlatform platform;
    Monitor monitor{platform, dir.Folder() + "tarvellin.ini"};
    PollLoop loop;
    const std::unique_ptr<Sockets> sockets = CreateSockets();
    CommandListener listener(monitor, loop, *sockets);
    EXPECT_FALSE(listener.StartListening(65536));
    EXPECT_FALSE(listener.StartListening(-1));
    EXPECT_EQ(listener.ListeningPort(), 0);

    CommandListener first(monitor, loop, *sockets);
    ASSERT_TRUE(first.StartListening(0));
    CommandListener second(monitor, loop, *sockets);
    EXPECT_FALSE(second.StartListening(first.ListeningPort()));
    EXPECT_EQ(second.ListeningPort(), 0);
}

TEST(CommandListenerPort, ListensOnlyOnTheGivenAddressAndNotAtAllOnAMistypedOne) {
    TempDir dir;
    FakePlatform platform;
    Monitor monitor{platform, dir.Folder() + "tarvellin.ini"};
    PollLoop loop;
    const std::unique_ptr<Sockets> sockets = CreateSockets();
    CommandListener elsewhere(monitor, loop, *sockets);
    ASSERT_TRUE(elsewhere.StartListening(0, "127.0.0.2"));
    const int other = ConnectLoopback(elsewhere.ListeningPort()); // 127.0.0.1: not bound
    EXPECT_LT(other, 0);
    if (other >= 0) {
        close(other);
    }
    for (const char* mistyped : {"localhost", "127.0.0.256", "fe80::1::2", " "}) {
        CommandListener listener(monitor, loop, *sockets);
        EXPECT_FALSE(listener.StartListening(0, mistyped)) << mistyped;
        EXPECT_EQ(listener.ListeningPort(), 0) << mistyped;
    }
}

TEST(CommandListenerFlush, ARestTheSocketDidNotTakeGoesOutLaterOrIsCutOff) {
    for (const bool stalled : {false, true}) {
        SCOPED_TRACE(stalled ? "peer takes nothing more" : "socket takes a few bytes at a time");
        TempDir dir;
        FakePlatform platform;
        platform.AddDrive('C', 1000, 250);
        Monitor monitor{platform, dir.Folder() + "tarvellin.ini"};
        monitor.Settings().Directory = "C";
        monitor.Settings().NetWork = 1;
        PollLoop loop;
        TrickleSockets sockets;
        sockets.stalled = stalled;
        CommandListener listener(monitor, loop, sockets);
        ASSERT_TRUE(listener.StartListening(0));
        const int port = listener.ListeningPort();
        auto reply = std::async(std::launch::async, [port] {
            return HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", ConnectionPolicy::kFlushGrace * 2ms);
        });
        SpinUntil(
            loop, [&] { return reply.wait_for(0s) == std::future_status::ready; }, 20s);
        const std::string page = reply.get();
        if (stalled) {
            EXPECT_EQ(page, "<html"); // the first bytes, then the close once the grace is over
        } else {
            EXPECT_EQ(page.rfind("<html><body>", 0), 0U) << page;
            EXPECT_TRUE(page.ends_with("</body></html>")) << page;
        }
        EXPECT_EQ(listener.OpenConnections(), 0U);
    }
}
