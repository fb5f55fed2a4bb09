// Workers in processes of their own (POSIX): the agent's threads never wait inside a file system, so a share
// that stops answering can hold up a worker but never the agent's end, and a worker keeps nothing of the agent
// (no listening socket, no lock, no connection) that a new agent would need. Requests and replies go through
// two pipes (cheaper than a socket pair), each message its length and its bytes.
#include "platform/guarded/GuardedWorker.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Where the worker finds its ends of the two pipes to the agent.
constexpr int kRequests = 3;
constexpr int kReplies = 4;

// Worker processes given up while they were stuck: reaped once they have ended.
std::vector<pid_t> g_abandoned;

void ReapAbandoned() {
    std::erase_if(g_abandoned, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

// One message: its length, then its bytes.
std::string Framed(const std::string& bytes) {
    const std::uint64_t length = bytes.size();
    std::string framed(reinterpret_cast<const char*>(&length), sizeof length);
    return framed + bytes;
}

// Reads one message from a blocking descriptor; nullopt at its end or on an error. Messages come one at a time
// (an answer is asked for only once the last one has come), so nothing is read beyond it.
std::optional<std::string> ReadMessage(int fd) {
    std::string bytes;
    std::uint64_t length = 0;
    char buffer[16384];
    while (bytes.size() < sizeof length || bytes.size() - sizeof length < length) {
        const std::size_t wanted = bytes.size() < sizeof length
                                       ? sizeof buffer
                                       : std::min<std::uint64_t>(sizeof buffer, sizeof length + length - bytes.size());
        const ssize_t got = ::read(fd, buffer, wanted);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() >= sizeof length && length == 0) {
            std::memcpy(&length, bytes.data(), sizeof length);
            if (length > (std::uint64_t{1} << 32)) {
                return std::nullopt;
            }
        }
    }
    return bytes.substr(sizeof length);
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// The worker's side: keeps only its two pipes and the null device, and answers operations until the agent
// ends. An operation under way then is finished first: the agent has counted on it (a status file it renamed
// keeps the name the agent saved).
[[noreturn]] void Serve(int requests, int replies, const GuardedWorkerSetup& setup) {
    // Ctrl-C and a stop sent to the whole group are the agent's to handle; the worker ends with it.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) {
        std::signal(signal, SIG_IGN);
    }
    // The agent's standard streams may be pipes whose reader waits for their end: the worker holds none.
    // First out of the way of the descriptors they go to (the agent may run with a standard stream closed).
    const int opened = ::open("/dev/null", O_RDWR);
    const int devNull = opened < 0 ? -1 : ::fcntl(opened, F_DUPFD, kReplies + 1);
    const int keptRequests = ::fcntl(requests, F_DUPFD, kReplies + 1);
    const int keptReplies = ::fcntl(replies, F_DUPFD, kReplies + 1);
    if (devNull < 0 || keptRequests < 0 || keptReplies < 0) {
        std::_Exit(1);
    }
    for (int fd = 0; fd < kRequests; ++fd) {
        ::dup2(devNull, fd);
    }
    if (::dup2(keptRequests, kRequests) != kRequests || ::dup2(keptReplies, kReplies) != kReplies) {
        std::_Exit(1);
    }
    if (::close_range(kReplies + 1, ~0U, 0) != 0) {
        rlimit limit{};
        const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, 65536) : 1024;
        for (int fd = kReplies + 1; static_cast<rlim_t>(fd) < last; ++fd) {
            ::close(fd);
        }
    }
    try {
        const std::unique_ptr<Platform> platform = setup.makePlatform();
        if (setup.driveTable) {
            platform->SetDriveTable(*setup.driveTable);
        }
        while (const std::optional<std::string> request = ReadMessage(kRequests)) {
            const std::optional<GuardedOperation> operation = ParseOperation(*request);
            const GuardedOutcome outcome = operation ? Perform(*platform, *operation) : GuardedOutcome{};
            if (!WriteAll(kReplies, Framed(Serialize(outcome)))) {
                break;
            }
        }
    } catch (...) {
        std::_Exit(1); // out of memory: the agent sees the replies end and counts the operation failed
    }
    std::_Exit(0);
}

class ProcessWorker final : public GuardedWorker {
public:
    // requests: both ends of the pipe to the worker (its write end non-blocking); replies: the read end of the
    // pipe from it.
    ProcessWorker(pid_t pid, const int (&requests)[2], int replies)
        : m_pid(pid), m_requestsIn(requests[0]), m_requests(requests[1]), m_replies(replies) {}

    ~ProcessWorker() override {
        const bool busy = Busy();
        for (const int fd : {m_requestsIn, m_requests, m_replies}) {
            ::close(fd);
        }
        if (busy) {
            // It may be waiting in a share that does not answer: it finishes the operation, then ends (its
            // requests end).
            g_abandoned.push_back(m_pid);
        } else {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0); // an idle worker waits for a request: it dies at once
        }
    }
    ProcessWorker(const ProcessWorker&) = delete;
    ProcessWorker& operator=(const ProcessWorker&) = delete;

    bool Post(const GuardedOperation& operation) override {
        if (!m_usable || Busy()) {
            return false;
        }
        if (!Send(Framed(Serialize(operation)))) {
            m_usable = false;
            return false;
        }
        ++m_posted;
        return true;
    }

    std::optional<GuardedOutcome> Wait(Clock::time_point deadline,
                                       const std::function<bool()>& stopRequested) override {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            const auto slice = std::clamp(left, std::chrono::milliseconds(0), kStopCheckInterval);
            if (Receive(static_cast<int>(slice.count())) && m_returned == m_posted) {
                return m_outcome;
            }
            if (m_returned == m_posted || Clock::now() >= deadline || (stopRequested && stopRequested())) {
                return std::nullopt; // failed by the worker, or overran
            }
        }
    }

    std::uint64_t Returned() override {
        if (m_returned < m_posted) {
            Receive(0);
        }
        return m_returned;
    }

    bool Usable() override { return m_usable; }

private:
    // Writes a request to the idle worker. The agent holds the pipe's read end as well, so a worker that has
    // died costs no SIGPIPE: the write only stops going on, and the end of its replies tells it has gone.
    bool Send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t written = ::write(m_requests, bytes.data() + done, bytes.size() - done);
            if (written > 0) {
                done += static_cast<std::size_t>(written);
                continue;
            }
            if (written < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            pollfd ready[2] = {{m_requests, POLLOUT, 0}, {m_replies, POLLIN, 0}};
            if (::poll(ready, 2, static_cast<int>(kStopCheckInterval.count())) < 0 && errno != EINTR) {
                return false;
            }
            if ((ready[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                return false; // an idle worker says nothing: it has gone
            }
        }
        return true;
    }

    // Takes the answer of the outstanding operation when it arrives within the time; true when it did. Replies
    // that end (the worker died) count the operation as returned, failed.
    bool Receive(int milliseconds) {
        pollfd ready{m_replies, POLLIN, 0};
        if (::poll(&ready, 1, milliseconds) <= 0) {
            return false;
        }
        const std::optional<std::string> reply = ReadMessage(m_replies);
        const std::optional<GuardedOutcome> outcome = reply ? ParseOutcome(*reply) : std::nullopt;
        ++m_returned;
        if (!outcome) {
            m_usable = false;
            return false;
        }
        m_outcome = *outcome;
        return true;
    }

    pid_t m_pid;
    int m_requestsIn;
    int m_requests;
    int m_replies;
    std::uint64_t m_returned = 0;
    GuardedOutcome m_outcome;
    bool m_usable = true;
};

} // namespace

std::shared_ptr<GuardedWorker> StartGuardedWorker(const GuardedWorkerSetup& setup) {
    ReapAbandoned();
    int requests[2] = {-1, -1};
    int replies[2] = {-1, -1};
    if (::pipe2(requests, O_CLOEXEC) != 0) {
        return nullptr;
    }
    if (::pipe2(replies, O_CLOEXEC) != 0) {
        ::close(requests[0]);
        ::close(requests[1]);
        return nullptr;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        Serve(requests[0], replies[1], setup);
    }
    ::close(replies[1]);
    if (pid < 0 || ::fcntl(requests[1], F_SETFL, O_NONBLOCK) != 0) {
        for (const int fd : {requests[0], requests[1], replies[0]}) {
            ::close(fd);
        }
        return nullptr; // a child made already ends: its requests end
    }
    return std::make_shared<ProcessWorker>(pid, requests, replies[0]);
}
