// Requests per second and latency of the command port on loopback: the real program against bare
// accept-read-write-close servers measured in the same run, with one client and with fifty.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <csignal>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <map>
#include <memory>
#include <tuple>
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

// The bare server: blocking accept, one read, one write of a fixed reply, close. On a thread of this process, or
// in a process of its own as the agent is, which adds the switches between processes to every request.
class BareServer {
public:
    BareServer(std::string reply, bool ownProcess) : m_reply(std::move(reply)) {
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
        if (ownProcess) {
            m_child = fork();
            if (m_child == 0) {
                Serve();
                _exit(0);
            }
            return;
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~BareServer() {
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
            close(m_listener);
            return;
        }
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
    pid_t m_child = -1;
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

// A program under measurement, on a port of its own.
struct Contender {
    std::string name;
    int port = 0;
};

// One line of figures, with the rates as a share of both bare servers'.
void Print(const char* what, int clients, const char* name, const Figures& figures, const Figures& bareThread,
           const Figures& bareProcess) {
    std::printf("%-10s %3d client%s  %-12s %8.0f req/s  median %6.3f ms  p99 %8.3f ms  failed %d   x bare thread %.2f"
                "  x bare process %.2f\n",
                what, clients, clients == 1 ? " " : "s", name, figures.rate, figures.medianMs, figures.p99Ms,
                figures.failures, figures.rate / bareThread.rate, figures.rate / bareProcess.rate);
}

// The medians of a 404 and a /renew taken in turns, so both meet the same load of the machine.
std::pair<double, double> InTurns(int port, int rounds) {
    std::vector<double> notFound;
    std::vector<double> renew;
    for (int i = 0; i < rounds; ++i) {
        for (auto* figures : {&notFound, &renew}) {
            const auto begin = Clock::now();
            Request(port, figures == &renew ? kRenewRequest : kNotFoundRequest);
            figures->push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        }
    }
    for (auto* figures : {&notFound, &renew}) {
        std::nth_element(figures->begin(), figures->begin() + static_cast<long>(figures->size() / 2), figures->end());
    }
    return {notFound[notFound.size() / 2], renew[renew.size() / 2]};
}

} // namespace

// Usage: net_command_port_bench [scale] [baseline program]. With a baseline (an earlier build of the program)
// both are measured in the same run, each beside the bare server.
int main(int argc, char** argv) {
    const int scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    // The same program a second time with the longest history and a limit on its drive: the minute watch
    // samples, appends and fits while the requests come, and a refresh must not cost more for it.
    std::vector<std::tuple<std::string, std::string, std::string>> programs = {
        {"agent", TARVELLIN_BINARY, ""}, {"history", TARVELLIN_BINARY, "[History]\nDays=400\n[Limits]\nC=1%\n"}};
    if (argc > 2) {
        programs.emplace_back("baseline", argv[2], "");
    }
    std::vector<std::unique_ptr<TempDir>> dirs;
    std::vector<std::unique_ptr<AgentProcess>> agents;
    std::vector<Contender> contenders;
    for (const auto& [name, binary, options] : programs) {
        auto& dir = *dirs.emplace_back(std::make_unique<TempDir>());
        const int port = FreePort();
        dir.Write("tarvellin.ini",
                  "[Setting]\nNetWork=1\nPort=" + std::to_string(port) + "\nPath=\"" + dir.Folder() + "\"\n" + options);
        auto& agent = *agents.emplace_back(
            std::make_unique<AgentProcess>(dir.Path().string(), std::map<std::string, std::string>{}, binary));
        if (!WaitUntil([&] { return Request(port, kNotFoundRequest) > 0; }, 10s)) {
            std::fprintf(stderr, "%s does not answer on port %d: %s\n", binary.c_str(), port, agent.Stderr().c_str());
            return 1;
        }
        contenders.push_back({name, port});
    }
    const std::string page(146, 'p');
    for (const auto& [what, request, reply, single, crowd] :
         {std::tuple{"404", kNotFoundRequest, std::string("HTTP/1.1 404 Not Found"), 3000, 60},
          std::tuple{"GET /renew", kRenewRequest, page, 1000, 20}}) {
        BareServer bareThread(reply, false);
        BareServer bareProcess(reply, true);
        for (const int clients : {1, 50}) {
            const int each = (clients == 1 ? single : crowd) * scale;
            const Figures thread = Measure(bareThread.Port(), request, clients, each);
            const Figures process = Measure(bareProcess.Port(), request, clients, each);
            Print(what, clients, "bare thread", thread, thread, process);
            Print(what, clients, "bare process", process, thread, process);
            for (const Contender& contender : contenders) {
                Print(what, clients, contender.name.c_str(), Measure(contender.port, request, clients, each), thread,
                      process);
            }
        }
    }
    // What a refresh costs beyond answering (its drive query and file operations, handed to workers).
    std::map<std::string, double> renewMedians;
    for (const Contender& contender : contenders) {
        const auto [notFoundMedian, renewMedian] = InTurns(contender.port, 2000 * scale);
        renewMedians[contender.name] = renewMedian;
        std::printf("%-9s in turns: GET /renew median %.3f ms / 404 median %.3f ms: ratio %.2f  goal: at most 1.50\n",
                    contender.name.c_str(), renewMedian, notFoundMedian, renewMedian / notFoundMedian);
    }
    std::printf("GET /renew with the history on / without: ratio %.2f  goal: at most 1.10\n",
                renewMedians["history"] / renewMedians["agent"]);
    return 0;
}
