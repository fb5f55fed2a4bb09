#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <algorithm>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <thread>
#include <vector>

#include "AgentProcess.h"
#include "Cp932.h"
#include "TempDir.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::string kNotFound = "HTTP/1.1 404 Not Found";
const std::string kRenew = "GET /renew HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: e2e\r\n\r\n";

int OpenDescriptors(pid_t pid) {
    int count = 0;
    std::error_code error;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

bool Connectable(int port) {
    const int fd = ConnectLoopback(port);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

bool IsPage(const std::string& reply) {
    return reply.rfind(ToCp932("<html><body>データ更新受け付けました<BR><BR>"), 0) == 0 && reply.size() > 18 &&
           reply.substr(reply.size() - 18) == "<BR></body></html>";
}

// Connections to the port that send a byte every 100 ms, just often enough that the request never falls quiet,
// from 127.0.0.1 as the test's requests (addresses 1) or from 127.0.0.2 on; each one the agent closes comes back.
std::jthread TricklingCrowd(int port, int connections, int addresses) {
    return std::jthread([=](const std::stop_token& stop) {
        const auto open = [&](int i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            const auto from = static_cast<std::uint32_t>(addresses == 1 ? 0 : 1 + i % addresses);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK + from);
            bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            address.sin_port = htons(static_cast<std::uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            return pollfd{fd, POLLIN, 0};
        };
        std::vector<pollfd> fds;
        for (int i = 0; i < connections; ++i) {
            fds.push_back(open(i));
        }
        for (auto tick = std::chrono::steady_clock::now(); !stop.stop_requested();) {
            poll(fds.data(), fds.size(), 20);
            const bool due = std::chrono::steady_clock::now() >= tick;
            tick += due ? 100ms : 0ms;
            for (std::size_t i = 0; i < fds.size(); ++i) {
                char sink[256];
                const auto got = fds[i].revents == 0 ? -1 : recv(fds[i].fd, sink, sizeof sink, MSG_DONTWAIT);
                if (got == 0 || (got < 0 && fds[i].revents != 0 && errno != EAGAIN)) {
                    close(fds[i].fd);
                    fds[i] = open(static_cast<int>(i));
                } else if (due) {
                    send(fds[i].fd, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
                }
            }
        }
        for (const pollfd& fd : fds) {
            close(fd.fd);
        }
    });
}

class CommandPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(TARVELLIN_BINARY)) << "the program is missing: " << TARVELLIN_BINARY;
        fs::create_directories(m_dir.Path() / "status");
        m_port = FreePort();
    }

    // Writes the settings file with the given keys of [Setting] (and any further sections).
    void WriteSettings(const std::string& keys, const std::string& more = {}) {
        m_dir.Write("tarvellin.ini", "[Setting]\nPath=\"" + m_dir.Folder() +
                                         "status/\"\nPort=" + std::to_string(m_port) + "\n" + keys + more);
    }

    // Starts the agent and waits for its port.
    void Start(int port = 0) {
        m_agent = std::make_unique<AgentProcess>(m_dir.Path().string(), std::map<std::string, std::string>{},
                                                 TARVELLIN_BINARY);
        ASSERT_TRUE(WaitUntil([&] { return Connectable(port != 0 ? port : m_port); }))
            << "the agent does not listen; stderr: " << m_agent->Stderr();
    }

    std::string Ask(const std::string& request) { return HttpExchange(m_port, request, 10s); }
    std::string Settings() const { return m_dir.Read("tarvellin.ini"); }
    std::vector<std::string> StatusFiles() const { return m_dir.List("status"); }

    TempDir m_dir;
    int m_port = 0;
    std::unique_ptr<AgentProcess> m_agent;
};

} // namespace

TEST_F(CommandPortTest, NetWorkOffAnswersTheBareLineAndChangesNothing) {
    WriteSettings("NetWork=0\n");
    Start();
    const std::string before = Settings();
    EXPECT_EQ(Ask(kRenew), kNotFound);
    EXPECT_EQ(Ask("GET / HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_EQ(Settings(), before);
    EXPECT_TRUE(StatusFiles().empty());
    EXPECT_TRUE(m_agent->Running());
}

TEST_F(CommandPortTest, RenewRefreshesTheStatusFileAndTheSavedSettings) {
    WriteSettings("NetWork=1\n");
    Start();
    const auto start = std::chrono::steady_clock::now();
    const std::string page = Ask(kRenew);
    // The end of the reply is the agent's close, not the client's timeout.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    ASSERT_TRUE(IsPage(page)) << page;
    EXPECT_EQ(page.find_first_of("\r\n"), std::string::npos);

    const std::vector<std::string> files = StatusFiles();
    ASSERT_EQ(files.size(), 1U);
    EXPECT_EQ(files[0].rfind("空容量", 0), 0U);
    EXPECT_NE(page.find(ToCp932(files[0]) + "<BR>"), std::string::npos) << "the page shows the published text";
    EXPECT_NE(Settings().find("Filename=" + files[0]), std::string::npos) << Settings();
    EXPECT_NE(page.find(ToCp932("ドライブ空容量")), std::string::npos);
}

TEST_F(CommandPortTest, PasswordAndCommandlessRequestsFollowTheSettings) {
    WriteSettings("NetWork=1\nPass=secret\nNetKoushin=1\n");
    Start();
    EXPECT_EQ(Ask(kRenew), kNotFound);
    EXPECT_EQ(Ask("GET /renew/Secret HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_TRUE(IsPage(Ask("GET /renew/secret HTTP/1.1\r\n\r\n")));
    EXPECT_TRUE(IsPage(Ask("GET /renew=1/secret HTTP/1.1\r\n\r\n")));
    EXPECT_TRUE(IsPage(Ask("GET / HTTP/1.1\r\n\r\n")));
    EXPECT_EQ(Ask("get /renew/secret HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_EQ(Ask("GET /favicon.ico HTTP/1.1\r\n\r\n"), kNotFound);
}

TEST_F(CommandPortTest, CommandlessRequestIsRefusedWithoutNetKoushin) {
    WriteSettings("NetWork=1\nNetKoushin=0\n");
    Start();
    EXPECT_EQ(Ask("GET / HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_TRUE(StatusFiles().empty());
}

TEST_F(CommandPortTest, SettingCommandChangesNeitherTheSettingNorTheFile) {
    WriteSettings("NetWork=1\nEnbChange=1\nTime=3\n");
    Start();
    const std::string before = Settings();
    const auto stamp = fs::last_write_time(m_dir.Path() / "tarvellin.ini");
    EXPECT_EQ(Ask("GET /Time=10 HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_EQ(Ask("GET /Pass=x HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_EQ(Settings(), before);
    EXPECT_EQ(fs::last_write_time(m_dir.Path() / "tarvellin.ini"), stamp);
    EXPECT_TRUE(StatusFiles().empty());
    // The next save writes the setting as it was.
    ASSERT_TRUE(IsPage(Ask(kRenew)));
    EXPECT_NE(Settings().find("Time=3"), std::string::npos) << Settings();
}

TEST_F(CommandPortTest, ChangedPortTakesEffectOnlyAfterARestart) {
    WriteSettings("NetWork=1\n");
    Start();
    const int oldPort = m_port;
    const int newPort = FreePort();
    std::string text = Settings();
    text.replace(text.find("Port=" + std::to_string(oldPort)), 5 + std::to_string(oldPort).size(),
                 "Port=" + std::to_string(newPort));
    m_dir.Write("tarvellin.ini", text);
    EXPECT_EQ(HttpExchange(oldPort, "GET /x HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_EQ(HttpExchange(newPort, "GET /x HTTP/1.1\r\n\r\n"), "<connect failed>");

    EXPECT_EQ(m_agent->Stop(), 0);
    Start(newPort);
    EXPECT_EQ(HttpExchange(newPort, "GET /x HTTP/1.1\r\n\r\n"), kNotFound);
    EXPECT_EQ(HttpExchange(oldPort, "GET /x HTTP/1.1\r\n\r\n"), "<connect failed>");
}

TEST_F(CommandPortTest, HeadersMakeCompleteHttpResponses) {
    WriteSettings("NetWork=1\n", "[Http]\nHeaders=1\n");
    Start();
    EXPECT_EQ(Ask("GET /x HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    const std::string reply = Ask(kRenew);
    const std::string prefix = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=Shift_JIS\r\nContent-Length: ";
    ASSERT_EQ(reply.rfind(prefix, 0), 0U) << reply;
    const auto bodyStart = reply.find("\r\n\r\n");
    ASSERT_NE(bodyStart, std::string::npos);
    const std::string body = reply.substr(bodyStart + 4);
    EXPECT_TRUE(IsPage(body));
    EXPECT_EQ(reply.substr(prefix.size(), bodyStart - prefix.size()),
              std::to_string(body.size()) + "\r\nConnection: close");
    // The key is read, never written.
    EXPECT_NE(Settings().find("Headers=1"), std::string::npos);
}

TEST_F(CommandPortTest, PortInUseLeavesTheAgentRunningWithoutListener) {
    const int blocker = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(m_port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(blocker, 5), 0);
    WriteSettings("NetWork=1\n");
    AgentProcess agent(m_dir.Path().string(), {}, TARVELLIN_BINARY);
    EXPECT_TRUE(WaitUntil([&] { return agent.Diagnostics().find('\n') != std::string::npos; }, 5s));
    EXPECT_TRUE(agent.Running());
    const std::string err = agent.Diagnostics();
    EXPECT_NE(err.find(std::to_string(m_port)), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    close(blocker);
}

TEST_F(CommandPortTest, PortOutOfRangeLeavesTheAgentRunningWithoutListener) {
    m_dir.Write("tarvellin.ini", "[Setting]\nNetWork=1\nPort=70000\n");
    AgentProcess agent(m_dir.Path().string(), {}, TARVELLIN_BINARY);
    EXPECT_TRUE(WaitUntil([&] { return agent.Stderr().find("70000") != std::string::npos; }, 5s)) << agent.Stderr();
    EXPECT_TRUE(agent.Running());
}

TEST_F(CommandPortTest, HostileClientsLeakNothingAndDamageNothing) {
    WriteSettings("NetWork=1\nPass=pw\n");
    Start();
    ASSERT_TRUE(IsPage(Ask("GET /renew/pw HTTP/1.1\r\n\r\n")));
    const std::string settings = Settings();
    const int before = OpenDescriptors(m_agent->Pid());

    const std::vector<std::string> requests = {
        "G",
        "GE",
        "GET",
        "GET ",
        "GET /",
        std::string(1024, 'A'),
        std::string(5000, 'A'),
        std::string("GET /re\0new/pw HTTP/1.1", 24),
        std::string("\0\0\0\0GET", 7),
        "GET/renew/pw",
        "GET /" + std::string(99, 'a') + " HTTP/1.1\r\n",
        "GET /" + std::string(100, 'a') + " HTTP/1.1\r\n",
        "GET /renew/" + std::string(1000, 'p') + " HTTP/1.1\r\n",
        "get /renew/pw HTTP/1.1\r\n",
        "GET /" + std::string(2000, '='),
        "GET /" + std::string(2000, '/'),
        "\xff\xfe\xfd\x80\x81 binary \x01\x02",
    };
    for (const std::string& request : requests) {
        EXPECT_EQ(Ask(request), kNotFound) << request.substr(0, 30);
    }
    // Clients that vanish: closed at once, or reset right after sending.
    for (int i = 0; i < 20; ++i) {
        close(ConnectLoopback(m_port));
        const int resets = ConnectLoopback(m_port);
        send(resets, kRenew.data(), kRenew.size(), MSG_NOSIGNAL);
        linger hardClose{1, 0};
        setsockopt(resets, SOL_SOCKET, SO_LINGER, &hardClose, sizeof hardClose);
        close(resets);
    }
    // Fifty at once.
    // A burst beyond the backlog of 5 is held back by the kernel for a second or more, hence the long timeouts.
    std::vector<std::future<std::string>> clients;
    for (int i = 0; i < 50; ++i) {
        clients.push_back(
            std::async(std::launch::async, [this] { return HttpExchange(m_port, "GET /x HTTP/1.1\r\n", 60s); }));
    }
    for (auto& client : clients) {
        EXPECT_EQ(client.get(), kNotFound);
    }
    for (int i = 0; i < 1000; ++i) {
        if (Ask("GET /x HTTP/1.1\r\n\r\n") != kNotFound) {
            ADD_FAILURE() << "request " << i << " of a thousand in a row";
            break;
        }
    }
    EXPECT_TRUE(m_agent->Running());
    EXPECT_TRUE(WaitUntil([&] { return OpenDescriptors(m_agent->Pid()) <= before; }, 10s))
        << OpenDescriptors(m_agent->Pid()) << " descriptors, " << before << " before";
    EXPECT_EQ(Settings(), settings);
}

TEST_F(CommandPortTest, SilentClientIsClosedTenSecondsAfterItsAcceptWithoutReply) {
    WriteSettings("NetWork=1\n");
    Start();
    const auto start = std::chrono::steady_clock::now();
    auto silent = std::async(std::launch::async, [this] { return HttpExchange(m_port, "", 20s); });
    std::this_thread::sleep_for(200ms);
    // Others are answered meanwhile.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpExchange(m_port, "GET /x HTTP/1.1\r\n\r\n", 20s), kNotFound);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    EXPECT_EQ(silent.get(), "");
    const auto held = std::chrono::steady_clock::now() - start;
    EXPECT_GE(held, 9s);
    EXPECT_LT(held, 12s);
}

TEST_F(CommandPortTest, SilentConnectionsDoNotDelayARefresh) {
    WriteSettings("NetWork=1\n");
    Start();
    struct Case {
        int silent;
        int closedToMakeRoom; // one peer keeps its 8 newest silent connections once they have had a moment
    };
    for (const Case c : {Case{6, 0}, Case{100, 92}}) {
        // Paced, so the backlog of 5 never overflows and no connect waits for a retransmission.
        const auto connecting = std::chrono::steady_clock::now();
        std::vector<int> silent;
        for (int i = 0; i < c.silent; ++i) {
            silent.push_back(ConnectLoopback(m_port));
            ASSERT_GE(silent.back(), 0) << i;
            std::this_thread::sleep_for(5ms);
        }
        // Connects that took long enough for the first to reach their deadline would blur the count.
        const bool beforeAnyDeadline = std::chrono::steady_clock::now() - connecting < 9s;
        std::this_thread::sleep_for(300ms);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(IsPage(Ask(kRenew))) << c.silent;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << c.silent;
        const auto closedByAgent = [&silent] { return std::count_if(silent.begin(), silent.end(), PeerHasClosed); };
        WaitUntil([&] { return closedByAgent() >= c.closedToMakeRoom; }, 3s);
        if (beforeAnyDeadline) {
            EXPECT_EQ(closedByAgent(), c.closedToMakeRoom) << c.silent;
        }
        if (c.closedToMakeRoom > 0) {
            // The oldest went first.
            EXPECT_TRUE(PeerHasClosed(silent.front()));
            EXPECT_FALSE(PeerHasClosed(silent.back()));
        }
        for (const int fd : silent) {
            close(fd);
        }
    }
}

TEST_F(CommandPortTest, RequestSplitAcrossSegmentsIsJudgedWhole) {
    WriteSettings("NetWork=1\n");
    Start();
    struct Case {
        std::vector<std::string> pieces; // sent 50 ms apart
        bool page;
    };
    const std::vector<Case> cases = {
        {{"GET /re", "new HTTP/1.1\r\n\r\n"}, true},
        {{"GET /re", "new"}, true}, // no line end at all: judged after a quiet moment
        {{"G", "ET /renew HTTP/1.1\r\n", "Host: x\r\n\r\n"}, true},
        {{"GET /re", "new/pw HTTP/1.1\r\n"}, true},
        {{"GET /x", " HTTP/1.1\r\n"}, false},
        {{"get /re", "new HTTP/1.1\r\n"}, false},
    };
    for (const Case& c : cases) {
        const int fd = ConnectLoopback(m_port);
        ASSERT_GE(fd, 0);
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        for (const std::string& piece : c.pieces) {
            send(fd, piece.data(), piece.size(), MSG_NOSIGNAL);
            std::this_thread::sleep_for(50ms);
        }
        std::string reply;
        ReadUntilClosed(fd, reply, 5s);
        close(fd);
        if (c.page) {
            EXPECT_TRUE(IsPage(reply)) << c.pieces.front() << c.pieces[1] << ": " << reply;
        } else {
            EXPECT_EQ(reply, kNotFound) << c.pieces.front() << c.pieces[1];
        }
    }
}

TEST_F(CommandPortTest, TricklingCrowdsNeverKeepARefreshWaitingASecond) {
    WriteSettings("NetWork=1\n");
    Start();
    const int idle = OpenDescriptors(m_agent->Pid());
    struct Case {
        int connections;
        int addresses; // 1: 127.0.0.1, as the requests; more: from 127.0.0.2 on
    };
    for (const Case c : {Case{64, 1}, Case{200, 1}, Case{64, 64}}) {
        const std::jthread crowd = TricklingCrowd(m_port, c.connections, c.addresses);
        // The crowd holds the port: the agent has as many connections open as it takes.
        EXPECT_TRUE(WaitUntil([&] { return OpenDescriptors(m_agent->Pid()) - idle >= 30; }, 5s))
            << c.connections << ": " << OpenDescriptors(m_agent->Pid()) - idle;
        std::this_thread::sleep_for(1s);
        for (int i = 0; i < 10; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const std::string reply = Ask(kRenew);
            EXPECT_TRUE(IsPage(reply) && std::chrono::steady_clock::now() - start < 1s)
                << c.connections << " from " << c.addresses << ", request " << i << ": " << reply;
            std::this_thread::sleep_for(250ms);
        }
    }
    EXPECT_TRUE(m_agent->Running());
}
