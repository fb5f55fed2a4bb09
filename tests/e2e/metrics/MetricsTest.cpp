// The read-only endpoints of the real program as monitoring sees them: promtool accepts a scrape, and a
// real Prometheus scraping three agents stores every drive's free bytes exactly, a hung drive as not up.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AgentProcess.h"
#include "HangingShare.h"
#include "ScopedMount.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Output and exit status of a shell command.
std::pair<std::string, int> Shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return {output, -1};
    }
    char buffer[4096];
    while (const std::size_t count = fread(buffer, 1, sizeof(buffer), pipe)) {
        output.append(buffer, count);
    }
    const int status = pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// The program's path on PATH; empty when it is not installed.
std::string FindProgram(const std::string& name) {
    const auto [output, status] = Shell("command -v " + name);
    return status == 0 ? output.substr(0, output.find('\n')) : std::string();
}

std::string Body(const std::string& response) {
    const std::size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

// Free and total bytes as the agent counts them (all free blocks).
std::pair<std::uint64_t, std::uint64_t> FreeAndTotal(const fs::path& folder) {
    struct statvfs info {};
    if (statvfs(folder.c_str(), &info) != 0) {
        return {0, 0};
    }
    return {static_cast<std::uint64_t>(info.f_bfree) * info.f_frsize,
            static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize};
}

// A program started with arguments, stopped with SIGTERM (then SIGKILL) when the object goes.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const fs::path& log) {
        m_pid = fork();
        if (m_pid == 0) {
            FILE* out = std::freopen(log.c_str(), "w", stdout);
            static_cast<void>(out);
            dup2(fileno(stdout), 2);
            std::vector<char*> argv;
            for (const std::string& argument : arguments) {
                argv.push_back(const_cast<char*>(argument.c_str()));
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~ChildProcess() {
        if (m_pid <= 0) {
            return;
        }
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 250 && waitpid(m_pid, nullptr, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(20ms);
        }
        if (waitpid(m_pid, nullptr, WNOHANG) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

private:
    pid_t m_pid = -1;
};

// One agent's folder, settings and drives: letter to mounted folder.
struct Agent {
    int port = 0;
    fs::path work;
    std::map<char, fs::path> drives; // C is the main drive
    std::unique_ptr<AgentProcess> process;
};

std::string SettingsFor(const Agent& agent, const std::string& pass, const std::string& status) {
    std::string others;
    std::string table;
    for (const auto& [letter, folder] : agent.drives) {
        if (letter != 'C') {
            others += letter;
        }
        table += std::string(1, letter) + "=" + folder.string() + "\n";
    }
    return "[Setting]\nDirectory=C\nPort=" + std::to_string(agent.port) + "\nPass=" + pass + "\nPath=\"" + status +
           "\"\nOtherDrive=1\nDirectory2=" + others + "\n[Http]\nMetrics=1\nAddress=127.0.0.1\n[Drives]\n" + table;
}

// Samples of an instant query, by "instance letter".
std::map<std::string, std::string> Query(int port, const std::string& expression) {
    const auto [output, status] = Shell("curl -s --max-time 5 'http://127.0.0.1:" + std::to_string(port) +
                                        "/api/v1/query?query=" + expression + "'");
    std::map<std::string, std::string> samples;
    if (status != 0) {
        return samples;
    }
    const QJsonObject reply = QJsonDocument::fromJson(QByteArray::fromStdString(output)).object();
    for (const QJsonValue& entry : reply["data"].toObject()["result"].toArray()) {
        const QJsonObject metric = entry.toObject()["metric"].toObject();
        const std::string key =
            metric["instance"].toString().toStdString() + " " + metric["letter"].toString().toStdString();
        samples[key] = entry.toObject()["value"].toArray().at(1).toString().toStdString();
    }
    return samples;
}

TEST(Metrics, PromtoolAcceptsARealScrapeWithAwkwardFolders) {
    const std::string promtool = FindProgram("promtool");
    if (promtool.empty()) {
        GTEST_SKIP() << "promtool not found: Debian's prometheus package provides it (scripts/setup --test)";
    }
    TempDir dir;
    const fs::path awkward = dir.Path() / "q\"uote\\back 状態";
    fs::create_directories(awkward);
    Agent agent;
    agent.port = FreePort();
    agent.drives = {{'C', dir.Path()}, {'D', awkward}};
    dir.Write("tarvellin.ini", SettingsFor(agent, "", dir.Folder()));
    AgentProcess process(dir.Path().string());
    std::string reply;
    ASSERT_TRUE(WaitUntil([&] {
        reply = HttpExchange(agent.port, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", 5s);
        return reply.starts_with("HTTP/1.1 200 OK\r\n");
    })) << reply;
    EXPECT_NE(reply.find("path=\"" + dir.Folder() + "q\\\"uote\\\\back 状態/\""), std::string::npos) << reply;
    dir.Write("scrape.txt", Body(reply));
    const auto [output, status] = Shell(promtool + " check metrics < '" + (dir.Path() / "scrape.txt").string() + "'");
    EXPECT_EQ(status, 0) << output << Body(reply);
}

TEST(Metrics, PrometheusStoresEveryDriveToTheByteAndAHungDriveAsNotUp) {
    const std::string prometheus = FindProgram("prometheus");
    if (prometheus.empty()) {
        GTEST_SKIP() << "prometheus not found: install Debian's prometheus package (scripts/setup --test)";
    }
    if (FindProgram("curl").empty()) {
        GTEST_SKIP() << "curl not found";
    }
    TempDir dir;
    const std::string pass = "s3cret";
    // Three agents; the first has a drive on a share that will stop answering.
    const std::vector<std::vector<std::pair<char, const char*>>> sizes = {
        {{'C', "size=8m"}, {'D', "size=16m"}},
        {{'C', "size=4m"}, {'D', "size=12m"}, {'E', "size=2m"}},
        {{'C', "size=20m"}},
    };
    std::vector<std::unique_ptr<ScopedMount>> mounts;
    std::vector<Agent> agents(sizes.size());
    for (std::size_t a = 0; a < agents.size(); ++a) {
        agents[a].port = FreePort();
        agents[a].work = dir.Path() / ("agent" + std::to_string(a));
        fs::create_directories(agents[a].work / "status");
        for (const auto& [letter, options] : sizes[a]) {
            const fs::path folder = agents[a].work / std::string(1, letter);
            mounts.push_back(std::make_unique<ScopedMount>(folder, "tmpfs", options));
            REQUIRE_MOUNT(*mounts.back());
            agents[a].drives[letter] = folder;
        }
    }
    // The share passes its backing folder's figures through: a tmpfs of its own keeps them still.
    mounts.push_back(std::make_unique<ScopedMount>(dir.Path() / "backing", "tmpfs", "size=6m"));
    REQUIRE_MOUNT(*mounts.back());
    HangingShare share(dir.Path() / "backing", agents[0].work / "H");
    REQUIRE_SHARE(share);
    agents[0].drives['H'] = agents[0].work / "H";
    for (Agent& agent : agents) {
        fs::path settings = agent.work / "tarvellin.ini";
        std::FILE* file = std::fopen(settings.c_str(), "w");
        const std::string text = SettingsFor(agent, pass, (agent.work / "status").string() + "/");
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        agent.process = std::make_unique<AgentProcess>(agent.work.string());
    }

    const int webPort = FreePort();
    std::string targets;
    for (const Agent& agent : agents) {
        targets += (targets.empty() ? "'127.0.0.1:" : ", '127.0.0.1:") + std::to_string(agent.port) + "'";
    }
    dir.Write("prometheus.yml", "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                "scrape_configs:\n  - job_name: tarvellin\n    authorization:\n      credentials: " +
                                    pass + "\n    static_configs:\n      - targets: [" + targets + "]\n");
    const ChildProcess server({prometheus, "--config.file=" + (dir.Path() / "prometheus.yml").string(),
                               "--storage.tsdb.path=" + (dir.Path() / "tsdb").string(),
                               "--web.listen-address=127.0.0.1:" + std::to_string(webPort)},
                              dir.Path() / "prometheus.log");

    // Every drive of every agent, with the free bytes statvfs gives now (tmpfs without writes stays put).
    std::map<std::string, std::string> expected;
    for (const Agent& agent : agents) {
        for (const auto& [letter, folder] : agent.drives) {
            expected["127.0.0.1:" + std::to_string(agent.port) + " " + std::string(1, letter)] =
                std::to_string(FreeAndTotal(folder).first);
        }
    }
    std::map<std::string, std::string> stored;
    EXPECT_TRUE(WaitUntil([&] { return (stored = Query(webPort, "tarvellin_drive_free_bytes")) == expected; }, 60s))
        << "prometheus log:\n"
        << Shell("cat '" + (dir.Path() / "prometheus.log").string() + "'").first;
    EXPECT_EQ(stored, expected);

    const std::string hung = "127.0.0.1:" + std::to_string(agents[0].port) + " H";
    share.Hang();
    std::map<std::string, std::string> up;
    EXPECT_TRUE(WaitUntil([&] { return (up = Query(webPort, "tarvellin_drive_up"))[hung] == "0"; }, 30s));
    for (const auto& [key, value] : up) {
        EXPECT_EQ(value, key == hung ? "0" : "1") << key;
    }
    // The hung drive's figures are gone from the scrapes; every other drive keeps its figure.
    expected.erase(hung);
    EXPECT_TRUE(WaitUntil([&] { return (stored = Query(webPort, "tarvellin_drive_free_bytes")) == expected; }, 30s));
    EXPECT_EQ(stored, expected);
    share.Answer();
}

} // namespace

namespace {

// A limit crossed at the start is told once on stderr and shows in both documents; the history file gets its
// first sample beside the settings.
TEST(Metrics, CrossedLimitIsToldOnceAndScrapedWithTheHistoryOn) {
    TempDir dir;
    Agent agent;
    agent.port = FreePort();
    agent.drives = {{'C', dir.Path()}};
    dir.Write("tarvellin.ini", SettingsFor(agent, "", dir.Folder()) + "[History]\nDays=1\n[Limits]\nC=100%\n");
    AgentProcess process(dir.Path().string());
    std::string metrics;
    ASSERT_TRUE(WaitUntil([&] {
        metrics = HttpExchange(agent.port, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", 5s);
        return metrics.starts_with("HTTP/1.1 200 OK\r\n");
    })) << metrics;
    EXPECT_NE(
        metrics.find("\ntarvellin_drive_limit_state{letter=\"C\",path=\"" + dir.Folder() + "\",role=\"main\"} 1\n"),
        std::string::npos)
        << metrics;
    EXPECT_EQ(metrics.find("tarvellin_drive_full_in_seconds"), std::string::npos) << "no forecast from one sample";
    const std::string json = HttpExchange(agent.port, "GET /status.json HTTP/1.1\r\nHost: x\r\n\r\n", 5s);
    EXPECT_NE(json.find("\"full_in_seconds\":null,\"full_in_range_seconds\":null,\"limit_state\":\"low\"}"),
              std::string::npos)
        << json;
    EXPECT_GE(fs::file_size(dir.Path() / "tarvellin.history"), 64U);
    const std::string diagnostics = process.Diagnostics();
    EXPECT_EQ(diagnostics.find("tarvellin: C: low on free space: "), 0U) << process.Stderr();
    EXPECT_EQ(diagnostics.find("low on free space", 20), std::string::npos) << "told once: " << diagnostics;
    EXPECT_NE(
        StartLineOf(process.Stderr()).find("; history 1 day in " + dir.Folder() + "tarvellin.history; limits C: "),
        std::string::npos)
        << process.Stderr();
}

} // namespace
