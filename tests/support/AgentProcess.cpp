#include "AgentProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <ctime>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Output files of their own for each process started, so that two in one folder keep their outputs apart.
std::string OutputBase(const std::string& workDir) {
    static int started = 0;
    return workDir + "/.agent-" + std::to_string(::getpid()) + "-" + std::to_string(started++);
}

} // namespace

AgentProcess::AgentProcess(const std::string& workDir, const std::map<std::string, std::string>& env,
                           const std::string& binary, const std::vector<std::string>& args)
    : m_stderrPath(OutputBase(workDir)), m_stdoutPath(m_stderrPath + ".stdout") {
    m_stderrPath += ".stderr";
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        if (chdir(workDir.c_str()) != 0) {
            _exit(126);
        }
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        for (const auto& [name, value] : env) {
            if (value.empty()) {
                unsetenv(name.c_str());
            } else {
                setenv(name.c_str(), value.c_str(), 1);
            }
        }
        const int err = open(m_stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = open(m_stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
}

AgentProcess::~AgentProcess() {
    if (Running()) {
        if (Stop(SIGTERM, std::chrono::seconds(5)) < 0) {
            Stop(SIGKILL, std::chrono::seconds(5));
        }
    }
}

bool AgentProcess::Running() {
    if (m_pid <= 0 || m_exitCode >= 0) {
        return false;
    }
    int status = 0;
    const pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return done == 0;
}

int AgentProcess::Wait(std::chrono::milliseconds timeout) {
    WaitUntil([this] { return !Running(); }, timeout);
    return m_exitCode;
}

int AgentProcess::Stop(int signal, std::chrono::milliseconds timeout) {
    if (Running()) {
        kill(m_pid, signal);
    }
    return Wait(timeout);
}

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

constexpr std::string_view kStartLineHead = "tarvellin: started headless: ";

} // namespace

std::string AgentProcess::Stderr() const {
    return ReadAll(m_stderrPath);
}

std::string AgentProcess::Stdout() const {
    return ReadAll(m_stdoutPath);
}

std::string AgentProcess::Diagnostics() const {
    std::string text = Stderr();
    const std::string line = StartLineOf(text);
    if (!line.empty()) {
        text.erase(text.find(line), line.size() + 1);
    }
    return text;
}

std::string StartLineOf(const std::string& stderrText) {
    const std::size_t start = stderrText.find(kStartLineHead);
    if (start == std::string::npos || (start > 0 && stderrText[start - 1] != '\n')) {
        return {};
    }
    const std::size_t end = stderrText.find('\n', start);
    return end == std::string::npos ? std::string() : stderrText.substr(start, end - start);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int ConnectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

ReadEnd ReadUntilClosed(int fd, std::string& received, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd waiting{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&waiting, 1, static_cast<int>(left.count())) <= 0) {
            return ReadEnd::TimedOut;
        }
        char buffer[4096];
        const auto got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return got == 0 ? ReadEnd::Closed : ReadEnd::Failed;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
}

bool PeerHasClosed(int fd) {
    pollfd waiting{fd, POLLIN, 0};
    char byte = 0;
    return poll(&waiting, 1, 0) > 0 && recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
}

std::string HttpExchange(int port, const std::string& request, std::chrono::milliseconds timeout) {
    const int fd = ConnectLoopback(port);
    if (fd < 0) {
        return "<connect failed>";
    }
    if (!request.empty()) {
        [[maybe_unused]] const auto sent = send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    }
    std::string reply;
    ReadUntilClosed(fd, reply, timeout);
    close(fd);
    return reply;
}

int FreePort() {
    // Below the kernel's ephemeral range (32768 and up by default), so that no client connection of a test
    // running beside this one takes the port as its local one before the agent listens on it.
    static std::mt19937 random(static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(time(nullptr)));
    std::uniform_int_distribution<int> ports(20000, 32767);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = ports(random);
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (free) {
            return port;
        }
    }
    return 0;
}
