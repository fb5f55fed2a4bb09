#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>
#include <sys/types.h>

// The real tarvellin program, started in a working folder of the test's, headless unless the
// environment given says otherwise. Stopped with SIGTERM (then SIGKILL) when the object goes.
class AgentProcess {
public:
    // Starts the program in workDir with the arguments; env entries are set (an empty value unsets the
    // variable). DISPLAY and WAYLAND_DISPLAY are unset unless given.
    explicit AgentProcess(const std::string& workDir, const std::map<std::string, std::string>& env = {},
                          const std::string& binary = TARVELLIN_BINARY, const std::vector<std::string>& args = {});
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    bool Running();
    // Sends a signal and waits for the end; returns the exit code, 128 + signal when killed by one, or -1
    // when it did not end within the timeout.
    int Stop(int signal = 15, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits for the end without signalling; exit code as by Stop.
    int Wait(std::chrono::milliseconds timeout);
    // What the program wrote to stderr so far.
    std::string Stderr() const;
    // Stderr without the headless agent's start line: what it reported beyond saying what it does.
    std::string Diagnostics() const;
    // What the program wrote to stdout so far.
    std::string Stdout() const;

private:
    pid_t m_pid = -1;
    int m_exitCode = -1;
    std::string m_stderrPath;
    std::string m_stdoutPath;
};

// The line the headless agent writes once it runs, when it has written one; empty otherwise.
std::string StartLineOf(const std::string& stderrText);

// Polls a condition every 20 ms until it holds or the timeout passes; returns its last value.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A socket connected to 127.0.0.1:port, for the caller to close; -1 when no connection could be made.
int ConnectLoopback(int port);

// How a read up to the peer's close ended: the peer closed, a receive failed (a reset), or the time ran out.
enum class ReadEnd { Closed, Failed, TimedOut };

// Appends what the peer sends to received until it closes, a receive fails or the timeout passes.
ReadEnd ReadUntilClosed(int fd, std::string& received, std::chrono::milliseconds timeout);

// True when the peer has closed the connection (or reset it) and nothing is left to read; never waits.
bool PeerHasClosed(int fd);

// Connects to 127.0.0.1:port, sends the bytes, and reads until the peer closes (or the timeout). Returns
// what was received; "<connect failed>" when no connection could be made.
std::string HttpExchange(int port, const std::string& request,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A free TCP port on the loopback address, chosen by the kernel.
int FreePort();
