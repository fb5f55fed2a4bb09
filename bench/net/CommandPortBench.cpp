// Requests per second and latency of the command port on loopback: the real program against a bare
// accept-read-write-close server measured in the same run, with one client and with fifty.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "AgentProcess.h"
#include "TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The agent's backlog (ConnectionPolicy::kListenBacklog), given to the bare server as well.
constexpr int kBacklog = 511;

const std::string kNotFoundRequest = "GET /x HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
const std::string kRenewRequest = "GET /renew HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

// One request: connect, send, read to the close. Returns the bytes received, -1 on failure.
long Request(int port, const std::string& request) {
    const int fd = ConnectLoopback(port);
    if (fd < 0) {
        return -1;
    }
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply;
    const ReadEnd end = ReadUntilClosed(fd, reply, 30s);
    close(fd);
    return end == ReadEnd::Closed ? static_cast<long>(reply.size()) : -1;
}

// The bare server: one thread, blocking accept, one read, one write of a fixed reply, close.
class BareServer {
public:
    explicit BareServer(std::string reply) : m_reply(std::move(reply)) {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listener, kBacklog);
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~BareServer() {
        m_stop = true;
        close(ConnectLoopback(m_port)); // wakes the accept
        m_thread.join();
        close(m_listener);
    }
    BareServer(const BareServer&) = delete;
    BareServer& operator=(const BareServer&) = delete;

    int Port() const { return m_port; }

private:
    void Serve() {
        char buffer[1025];
        while (!m_stop) {
            const int fd = accept(m_listener, nullptr, nullptr);
            if (fd < 0) {
                continue;
            }
            [[maybe_unused]] const auto got = recv(fd, buffer, 1024, 0);
            [[maybe_unused]] const auto sent = send(fd, m_reply.data(), m_reply.size(), MSG_NOSIGNAL);
            close(fd);
        }
    }

    std::string m_reply;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct Figures {
    double rate = 0;     // requests per second
    double medianMs = 0; // latency
    double p99Ms = 0;
    int failures = 0;
};

Figures Measure(int port, const std::string& request, int clients, int requestsPerClient) {
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<int> failures{0};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            auto& mine = latencies[static_cast<std::size_t>(c)];
            mine.reserve(static_cast<std::size_t>(requestsPerClient));
            for (int i = 0; i < requestsPerClient; ++i) {
                const auto begin = Clock::now();
                if (Request(port, request) <= 0) {
                    ++failures;
                }
                mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    for (const auto& mine : latencies) {
        all.insert(all.end(), mine.begin(), mine.end());
    }
    std::sort(all.begin(), all.end());
    Figures figures;
    figures.rate = static_cast<double>(all.size()) / seconds;
    figures.medianMs = all[all.size() / 2];
    figures.p99Ms = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    figures.failures = failures;
    return figures;
}

void Print(const char* what, int clients, const Figures& agent, const Figures& bare) {
    std::printf("%-12s %3d client%s  agent %8.0f req/s  median %6.3f ms  p99 %8.3f ms  failed %d\n", what, clients,
                clients == 1 ? " " : "s", agent.rate, agent.medianMs, agent.p99Ms, agent.failures);
    std::printf("%-12s %3d client%s  bare  %8.0f req/s  median %6.3f ms  p99 %8.3f ms  failed %d   ratio %.2f\n", what,
                clients, clients == 1 ? " " : "s", bare.rate, bare.medianMs, bare.p99Ms, bare.failures,
                agent.rate / bare.rate);
}

} // namespace

int main(int argc, char** argv) {
    const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    TempDir dir;
    const int port = FreePort();
    dir.Write("tarvellin.ini",
              "[Setting]\nNetWork=1\nPort=" + std::to_string(port) + "\nPath=\"" + dir.Folder() + "\"\n");
    AgentProcess agent(dir.Path().string(), {}, TARVELLIN_BINARY);
    if (!WaitUntil([&] { return Request(port, kNotFoundRequest) > 0; }, 10s)) {
        std::fprintf(stderr, "the agent does not answer on port %d: %s\n", port, agent.Stderr().c_str());
        return 1;
    }
    const std::string page(146, 'p');
    double agentNotFoundMs = 0;
    double agentRenewMs = 0;
    {
        BareServer bare("HTTP/1.1 404 Not Found");
        for (const int clients : {1, 50}) {
            const int each = (clients == 1 ? 3000 : 60) * scale;
            const Figures agentFigures = Measure(port, kNotFoundRequest, clients, each);
            const Figures bareFigures = Measure(bare.Port(), kNotFoundRequest, clients, each);
            Print("404", clients, agentFigures, bareFigures);
            agentNotFoundMs = clients == 1 ? agentFigures.medianMs : agentNotFoundMs;
        }
    }
    {
        BareServer bare(page);
        for (const int clients : {1, 50}) {
            const int each = (clients == 1 ? 1000 : 20) * scale;
            const Figures agentFigures = Measure(port, kRenewRequest, clients, each);
            const Figures bareFigures = Measure(bare.Port(), kRenewRequest, clients, each);
            Print("GET /renew", clients, agentFigures, bareFigures);
            agentRenewMs = clients == 1 ? agentFigures.medianMs : agentRenewMs;
        }
    }
    std::printf("agent, 1 client: GET /renew median %.3f ms / 404 median %.3f ms: ratio %.2f\n", agentRenewMs,
                agentNotFoundMs, agentRenewMs / agentNotFoundMs);
    // What a refresh costs the agent beyond answering (its drive query and file operations, handed to workers):
    // the two requests taken in turns, so both meet the same load of the machine.
    std::vector<double> notFound;
    std::vector<double> renew;
    for (int i = 0; i < 2000 * scale; ++i) {
        for (auto* figures : {&notFound, &renew}) {
            const auto begin = Clock::now();
            Request(port, figures == &renew ? kRenewRequest : kNotFoundRequest);
            figures->push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        }
    }
    for (auto* figures : {&notFound, &renew}) {
        std::nth_element(figures->begin(), figures->begin() + static_cast<long>(figures->size() / 2), figures->end());
    }
    const double notFoundMedian = notFound[notFound.size() / 2];
    const double renewMedian = renew[renew.size() / 2];
    std::printf("in turns:        GET /renew median %.3f ms / 404 median %.3f ms: ratio %.2f  goal: at most 2.00\n",
                renewMedian, notFoundMedian, renewMedian / notFoundMedian);
    return 0;
}
