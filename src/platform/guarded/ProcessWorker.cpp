// Workers in processes of their own (POSIX): the agent's threads never wait inside a file system, so a share
// that stops answering can hold up a worker but never the agent's end, and a worker keeps nothing of the agent
// (no listening socket, no lock, no connection) that a new agent would need.
#include "platform/guarded/GuardedWorker.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Where the worker finds its channel to the agent.
constexpr int kChannel = 3;

// Worker processes given up while they were stuck: reaped once they have ended.
std::vector<pid_t> g_abandoned;

void ReapAbandoned() {
    std::erase_if(g_abandoned, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool ReceiveAll(int fd, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::recv(fd, data, size, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// One message: its length, then its bytes.
bool SendMessage(int fd, const std::string& bytes) {
    const std::uint64_t length = bytes.size();
    std::string framed(reinterpret_cast<const char*>(&length), sizeof length);
    framed += bytes;
    return SendAll(fd, framed.data(), framed.size());
}

std::optional<std::string> ReceiveMessage(int fd) {
    std::uint64_t length = 0;
    if (!ReceiveAll(fd, reinterpret_cast<char*>(&length), sizeof length) || length > (std::uint64_t{1} << 32)) {
        return std::nullopt;
    }
    std::string bytes(length, '\0');
    if (!ReceiveAll(fd, bytes.data(), bytes.size())) {
        return std::nullopt;
    }
    return bytes;
}

// The worker's side: keeps only its channel and the null device, and answers operations until the agent closes
// the channel (or ends). An operation under way when that happens is finished first: the agent has counted on
// it (a status file it renamed keeps the name the agent saved).
[[noreturn]] void Serve(int channel, const GuardedWorkerSetup& setup) {
    // Ctrl-C and a stop sent to the whole group are the agent's to handle; the worker ends with it.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) {
        std::signal(signal, SIG_IGN);
    }
    // The agent's standard streams may be pipes whose reader waits for their end: the worker holds none.
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull < 0 || ::dup2(channel, kChannel) != kChannel) {
        std::_Exit(1);
    }
    for (int fd = 0; fd < kChannel; ++fd) {
        ::dup2(devNull, fd);
    }
    if (::close_range(kChannel + 1, ~0U, 0) != 0) {
        rlimit limit{};
        const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, 65536) : 1024;
        for (int fd = kChannel + 1; static_cast<rlim_t>(fd) < last; ++fd) {
            ::close(fd);
        }
    }
    try {
        const std::unique_ptr<Platform> platform = setup.makePlatform();
        if (setup.driveTable) {
            platform->SetDriveTable(*setup.driveTable);
        }
        while (const std::optional<std::string> request = ReceiveMessage(kChannel)) {
            const std::optional<GuardedOperation> operation = ParseOperation(*request);
            const GuardedOutcome outcome = operation ? Perform(*platform, *operation) : GuardedOutcome{};
            if (!SendMessage(kChannel, Serialize(outcome))) {
                break;
            }
        }
    } catch (...) {
        std::_Exit(1); // out of memory: the agent sees the channel close and counts the operation failed
    }
    std::_Exit(0);
}

class ProcessWorker final : public GuardedWorker {
public:
    ProcessWorker(pid_t pid, int channel) : m_pid(pid), m_channel(channel) {}

    ~ProcessWorker() override {
        const bool busy = Busy();
        ::close(m_channel);
        if (busy) {
            // It may be waiting in a share that does not answer: it finishes the operation and then ends.
            g_abandoned.push_back(m_pid);
        } else {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0); // an idle worker waits for its channel: it dies at once
        }
    }
    ProcessWorker(const ProcessWorker&) = delete;
    ProcessWorker& operator=(const ProcessWorker&) = delete;

    bool Post(const GuardedOperation& operation) override {
        if (!m_usable || Busy()) {
            return false;
        }
        if (!SendMessage(m_channel, Serialize(operation))) {
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
            const int slice = static_cast<int>(std::clamp(left, std::chrono::milliseconds(0), kStopCheckInterval).count());
            if (Receive(slice) && m_returned == m_posted) {
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
    // Takes the answer of the outstanding operation when it arrives within the time; true when it did. A
    // channel that closes (the worker died) counts the operation as returned, failed.
    bool Receive(int milliseconds) {
        pollfd ready{m_channel, POLLIN, 0};
        if (::poll(&ready, 1, milliseconds) <= 0) {
            return false;
        }
        const std::optional<std::string> reply = ReceiveMessage(m_channel);
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
    int m_channel;
    std::uint64_t m_returned = 0;
    GuardedOutcome m_outcome;
    bool m_usable = true;
};

} // namespace

std::shared_ptr<GuardedWorker> StartGuardedWorker(const GuardedWorkerSetup& setup) {
    ReapAbandoned();
    int channel[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) {
        return nullptr;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        Serve(channel[1], setup);
    }
    ::close(channel[1]);
    if (pid < 0) {
        ::close(channel[0]);
        return nullptr;
    }
    return std::make_shared<ProcessWorker>(pid, channel[0]);
}
