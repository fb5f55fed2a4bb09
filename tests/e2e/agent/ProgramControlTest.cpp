// How the program is started, told and stopped from outside: the start line, the options, one agent per
// working folder, and the settings reload on SIGHUP.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "AgentProcess.h"
#include "ScopedMount.h"
#include "TempDir.h"

namespace {

using namespace std::chrono_literals;

const std::string kRenew = "GET /renew HTTP/1.1\r\n\r\n";

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool Listening(int port) {
    const int fd = ConnectLoopback(port);
    if (fd >= 0) {
        ::close(fd);
    }
    return fd >= 0;
}

// True once the process has a handler of its own for the signal (its status says it catches it).
bool Catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("SigCgt:")) {
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
        }
    }
    return false;
}

class ProgramControlTest : public ::testing::Test {
protected:
    ProgramControlTest() { std::filesystem::create_directories(m_dir.Path() / "c"); }

    // Settings with the drive C inside the temporary folder, serving requests on a free port.
    void WriteSettings(const std::string& extra = {}) const {
        m_dir.Write("tarvellin.ini", "[Drives]\nC=\"" + m_dir.Folder() +
                                         "c\"\n[Setting]\nDirectory=C\nNetWork=1\nPort=" + std::to_string(m_port) +
                                         "\n" + extra);
    }
    static bool WaitForStartLine(AgentProcess& agent) {
        return WaitUntil([&] { return !StartLineOf(agent.Stderr()).empty(); });
    }

    TempDir m_dir;
    int m_port = FreePort();
};

TEST_F(ProgramControlTest, StartLineSaysWhatRunsAndWhereTheStatusFileGoes) {
    WriteSettings(); // Path is empty: the status file goes into the working folder
    AgentProcess agent(m_dir.Path().string());
    ASSERT_TRUE(WaitForStartLine(agent)) << agent.Stderr();
    const std::string line = StartLineOf(agent.Stderr());
    EXPECT_TRUE(line.starts_with("tarvellin: started headless: settings " + m_dir.Folder() +
                                 "tarvellin.ini; main drive C (" + m_dir.Folder() + "c): 空容量"))
        << line;
    EXPECT_TRUE(line.ends_with("no automatic refresh (Auto=0); port " + std::to_string(m_port) +
                               " answers GET /renew (NetWork=1)"))
        << line;

    // The status file appears with the first refresh, where the line said (its figure may have moved since).
    EXPECT_NE(line.find("; status file " + m_dir.Folder() + "空容量"), std::string::npos) << line;
    ASSERT_TRUE(HttpExchange(m_port, kRenew).starts_with("<html>"));
    const std::vector<std::string> files = m_dir.List();
    EXPECT_TRUE(std::any_of(files.begin(), files.end(), [](const auto& f) { return f.starts_with("空容量"); }));
    EXPECT_EQ(agent.Stop(SIGTERM), 0);
}

TEST_F(ProgramControlTest, OptionsAreAnsweredWithoutStartingAnAgent) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string stdoutStart;
        std::string stderrText;
    };
    const std::string kTakes = "tarvellin takes only --folder DIR, --help or --version";
    const Case cases[] = {
        {{"--help"}, 0, "Usage: tarvellin [--folder DIR] [--help | --version]\n", ""},
        {{"-h"}, 0, "Usage: tarvellin [--folder DIR] [--help | --version]\n", ""},
        {{"--version"}, 0, "tarvellin 2.10 (git revision ", ""},
        {{"--verbose"}, 2, "", "tarvellin: unknown argument '--verbose' (" + kTakes + ")\n"},
        {{"--help", "now"}, 2, "", "tarvellin: unknown argument 'now' (" + kTakes + ")\n"},
        // The folder is made only when the agent is to run.
        {{"--folder", "new/deeper", "--help"}, 0, "Usage: tarvellin ", ""},
        {{"--folder=new", "--verbose"}, 2, "", "tarvellin: unknown argument '--verbose' (" + kTakes + ")\n"},
        {{"--folder"}, 2, "", "tarvellin: the option --folder needs a folder\n"},
        {{"--folder", "tarvellin.ini/sub"},
         2,
         "",
         "tarvellin: cannot make the folder 'tarvellin.ini/sub': Not a directory\n"},
    };
    WriteSettings();
    const std::string settings = m_dir.Read("tarvellin.ini");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        AgentProcess program(m_dir.Path().string(), {}, TARVELLIN_BINARY, c.args);
        EXPECT_EQ(program.Wait(5s), c.exitCode);
        EXPECT_TRUE(program.Stdout().starts_with(c.stdoutStart)) << program.Stdout();
        EXPECT_EQ(program.Stderr(), c.stderrText);
        // No agent ran: nothing listens, nothing was locked, published or saved.
        EXPECT_FALSE(Listening(m_port));
        std::vector<std::string> files = m_dir.List();
        std::erase_if(files, [](const std::string& name) { return name.starts_with(".agent-"); });
        EXPECT_EQ(files, (std::vector<std::string>{"c", "tarvellin.ini"}));
        EXPECT_EQ(m_dir.Read("tarvellin.ini"), settings);
    }
}

TEST_F(ProgramControlTest, FolderOptionMakesAndEntersTheWorkingFolderFirst) {
    const std::filesystem::path folder = m_dir.Path() / "new" / "deeper";
    AgentProcess agent(m_dir.Path().string(), {}, TARVELLIN_BINARY, {"--folder", "new/deeper"});
    ASSERT_TRUE(WaitForStartLine(agent)) << agent.Stderr();
    EXPECT_TRUE(StartLineOf(agent.Stderr())
                    .starts_with("tarvellin: started headless: settings " + folder.string() + "/tarvellin.ini;"))
        << agent.Stderr();
    EXPECT_TRUE(std::filesystem::exists(folder / "tarvellin.lock"));
    EXPECT_EQ(agent.Stop(SIGTERM), 0);
}

TEST_F(ProgramControlTest, SecondAgentInTheFolderIsRefusedUntilTheFirstIsGone) {
    WriteSettings();
    auto first = std::make_unique<AgentProcess>(m_dir.Path().string());
    ASSERT_TRUE(WaitForStartLine(*first)) << first->Stderr();

    {
        AgentProcess second(m_dir.Path().string(), {}, TARVELLIN_BINARY);
        EXPECT_EQ(second.Wait(5s), 1);
        EXPECT_EQ(second.Stderr(), "tarvellin: another tarvellin (pid " + std::to_string(first->Pid()) +
                                       ") already runs in " + m_dir.Path().string() + "; not starting a second one\n");
    }
    EXPECT_TRUE(first->Running());
    EXPECT_TRUE(HttpExchange(m_port, kRenew).starts_with("<html>"));

    // A killed agent leaves its lock file, but no lock: the next one starts.
    EXPECT_EQ(first->Stop(SIGKILL), 128 + SIGKILL);
    first.reset();
    AgentProcess third(m_dir.Path().string());
    ASSERT_TRUE(WaitForStartLine(third)) << third.Stderr();
    EXPECT_TRUE(third.Running());
    EXPECT_TRUE(HttpExchange(m_port, kRenew).starts_with("<html>"));
    EXPECT_EQ(m_dir.Read("tarvellin.lock"), std::to_string(third.Pid()) + "\n");
}

TEST_F(ProgramControlTest, HangupReloadsAHandEditAndKeepsThePort) {
    std::filesystem::create_directories(m_dir.Path() / "status");
    WriteSettings("Path=\"" + m_dir.Folder() + "status/\"\n");
    AgentProcess agent(m_dir.Path().string());
    ASSERT_TRUE(WaitForStartLine(agent)) << agent.Stderr();
    ASSERT_TRUE(HttpExchange(m_port, kRenew).starts_with("<html>"));
    ASSERT_EQ(m_dir.List("status").size(), 1u);
    EXPECT_TRUE(m_dir.List("status")[0].ends_with(" MByte"));

    // Edited by hand while the agent runs: GByte texts, and a port that only a restart takes.
    std::string settings = m_dir.Read("tarvellin.ini");
    settings.replace(settings.find("GByte=0"), 7, "GByte=1");
    const int laterPort = FreePort();
    settings.replace(settings.find("Port=" + std::to_string(m_port)), 5 + std::to_string(m_port).size(),
                     "Port=" + std::to_string(laterPort));
    m_dir.Write("tarvellin.ini", settings);
    ASSERT_EQ(::kill(agent.Pid(), SIGHUP), 0);
    ASSERT_TRUE(WaitUntil([&] { return agent.Diagnostics().find("settings reloaded") != std::string::npos; }, 5s));
    EXPECT_EQ(agent.Diagnostics(), "tarvellin: settings reloaded from " + m_dir.Folder() + "tarvellin.ini; Port=" +
                                       std::to_string(laterPort) + " takes effect at the next start (the port stays " +
                                       std::to_string(m_port) + " until then)\n");

    ASSERT_TRUE(HttpExchange(m_port, kRenew).starts_with("<html>"));
    ASSERT_EQ(m_dir.List("status").size(), 1u);
    EXPECT_TRUE(m_dir.List("status")[0].ends_with(" GByte")) << m_dir.List("status")[0];
    EXPECT_NE(m_dir.Read("tarvellin.ini").find("\nGByte=1\n"), std::string::npos) << "the edit was written back over";
    EXPECT_FALSE(Listening(laterPort));

    // A reload that changes Path moves the status file there, within the filesystem and onto another one.
    ScopedMount tmpfs(m_dir.Path() / "other", "tmpfs", "size=1m");
    std::filesystem::create_directories(m_dir.Path() / "moved");
    std::string from = "status/";
    for (const std::string to : {"moved/", "other/"}) {
        if (to == "other/" && !tmpfs.Mounted()) {
            continue; // mounting needs root
        }
        settings = m_dir.Read("tarvellin.ini");
        settings.replace(settings.find(from + "\""), from.size(), to);
        m_dir.Write("tarvellin.ini", settings);
        const std::size_t reloads = Count(agent.Diagnostics(), "settings reloaded");
        ASSERT_EQ(::kill(agent.Pid(), SIGHUP), 0);
        ASSERT_TRUE(WaitUntil([&] { return Count(agent.Diagnostics(), "settings reloaded") > reloads; }, 5s));
        ASSERT_TRUE(HttpExchange(m_port, kRenew).starts_with("<html>"));
        EXPECT_TRUE(m_dir.List(from).empty()) << from << " keeps a stale status file";
        EXPECT_EQ(m_dir.List(to).size(), 1u) << to;
        from = to;
    }

    // A file that cannot be read (here a folder in its place) keeps the settings: requests are still served.
    std::filesystem::remove(m_dir.Path() / "tarvellin.ini");
    std::filesystem::create_directory(m_dir.Path() / "tarvellin.ini");
    ASSERT_EQ(::kill(agent.Pid(), SIGHUP), 0);
    const std::string kept = "tarvellin: settings not reloaded from " + m_dir.Folder() +
                             "tarvellin.ini: it is a folder; keeping the current settings\n";
    ASSERT_TRUE(WaitUntil([&] { return agent.Diagnostics().ends_with(kept); }, 5s)) << agent.Diagnostics();
    EXPECT_TRUE(HttpExchange(m_port, kRenew).starts_with("<html>"));
    EXPECT_EQ(m_dir.List(from).size(), 1u);
    EXPECT_TRUE(agent.Running());
    EXPECT_EQ(agent.Stop(SIGTERM), 0);
}

// A reload asked for the moment the program can take it, long before the agent runs, is kept and carried out
// once the agent runs; it never ends the program.
TEST_F(ProgramControlTest, HangupWhileTheProgramStartsIsKeptForTheAgent) {
    WriteSettings();
    AgentProcess agent(m_dir.Path().string());
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (!Catches(agent.Pid(), SIGHUP) && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(100us);
    }
    ASSERT_EQ(::kill(agent.Pid(), SIGHUP), 0);
    ASSERT_TRUE(WaitUntil([&] { return agent.Diagnostics().find("settings reloaded") != std::string::npos; }, 5s))
        << agent.Stderr();
    EXPECT_FALSE(StartLineOf(agent.Stderr()).empty());
    EXPECT_TRUE(agent.Running());
    EXPECT_EQ(agent.Stop(SIGTERM), 0);
}

} // namespace
