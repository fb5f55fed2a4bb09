// The status folder on a share that stops answering: the agent goes on serving, says once that it could not
// publish, stops promptly, and publishes again once the share answers.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AgentProcess.h"
#include "HangingShare.h"
#include "ScopedMount.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kNotPublished = "tarvellin: status file not published in ";

// Status files (names starting with the free label) in a folder.
std::vector<std::string> StatusFiles(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("空容量", 0) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class HungShareTest : public ::testing::Test {
protected:
    HungShareTest() : share(dir.Path() / "backing", dir.Path() / "share") { dir.Write("tarvellin.ini", Settings()); }

    // The status folder on the share, the main drive C ("/"), and further drives given as "D=..." lines.
    std::string Settings(const std::string& drives = {}) const {
        return "[Setting]\nPath=\"" + ShareFolder() + "\"\nNetWork=1\nPort=" + std::to_string(port) +
               "\nDirectory=C\n[Drives]\nC=\"/\"\n" + drives;
    }

    std::string ShareFolder() const { return (dir.Path() / "share").string() + "/"; }
    fs::path Backing() const { return dir.Path() / "backing"; }

    // The reply to a request and how long it took.
    std::pair<std::string, Clock::duration> Exchange(const std::string& request) {
        const auto start = Clock::now();
        std::string reply = HttpExchange(port, request, 10s);
        return {reply, Clock::now() - start};
    }

    TempDir dir;
    int port = FreePort();
    HangingShare share;
};

TEST_F(HungShareTest, RequestsAreAnsweredAndStopIsPromptWhileTheShareHangs) {
    REQUIRE_SHARE(share);
    AgentProcess agent(dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 5s).starts_with("<html>"); }));
    ASSERT_EQ(StatusFiles(Backing()).size(), 1u);

    share.Hang();
    // The refresh that meets the hang waits for the folder once, for the time bound (2 s) ...
    const auto [first, firstTime] = Exchange("GET /renew HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(first.starts_with("<html>")) << first;
    EXPECT_LT(firstTime, 3s);
    // ... and from then on the stuck folder is not asked: every request is answered at once.
    for (const char* request : {"GET /renew HTTP/1.1\r\n\r\n", "GET /nothing HTTP/1.1\r\n\r\n",
                                "GET /renew HTTP/1.1\r\n\r\n", "GET /renew HTTP/1.1\r\n\r\n"}) {
        const auto [reply, time] = Exchange(request);
        EXPECT_FALSE(reply.empty() || reply == "<connect failed>") << request;
        EXPECT_LT(time, 1s) << request;
    }
    const std::string err = agent.Diagnostics();
    EXPECT_EQ(Count(err, kNotPublished + ShareFolder() + ": the folder did not answer within 2 s\n"), 1u) << err;
    EXPECT_EQ(Count(err, "\n"), 1u) << err;

    // The operation still waiting in the share does not hold up the end.
    const auto start = Clock::now();
    EXPECT_EQ(agent.Stop(SIGTERM, 5s), 0);
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST_F(HungShareTest, StopWhileWaitingForTheShareIsPrompt) {
    REQUIRE_SHARE(share);
    AgentProcess agent(dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 5s).starts_with("<html>"); }));

    share.Hang();
    std::thread client([&] { HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 5s); });
    std::this_thread::sleep_for(300ms); // the refresh now waits for the share
    const auto start = Clock::now();
    EXPECT_EQ(agent.Stop(SIGTERM, 5s), 0);
    EXPECT_LT(Clock::now() - start, 1s);
    client.join();
}

TEST_F(HungShareTest, StatusFileReachesTheShareOnceItAnswersAgain) {
    REQUIRE_SHARE(share);
    share.Hang();
    AgentProcess agent(dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 5s).starts_with("<html>"); }));
    EXPECT_TRUE(StatusFiles(Backing()).empty());
    ASSERT_TRUE(WaitUntil([&] { return agent.Stderr().find(kNotPublished) != std::string::npos; }));

    share.Answer();
    // The operation that overran returns; the next refresh that finds the folder answering publishes.
    ASSERT_TRUE(WaitUntil([&] {
        HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 5s);
        return agent.Stderr().find("tarvellin: status file published again in " + ShareFolder() + "\n") !=
               std::string::npos;
    })) << agent.Stderr();
    EXPECT_EQ(StatusFiles(Backing()).size(), 1u);
    const std::string saved = dir.Read("tarvellin.ini");
    EXPECT_NE(saved.find("\nFilename=" + StatusFiles(Backing()).at(0) + "\n"), std::string::npos) << saved;
    EXPECT_EQ(agent.Stop(), 0);
}

// A share that hangs mid-rename and answers no interrupt holds the worker that asked it, never the agent: the
// agent ends at once, keeps neither its lock nor its port, and a new agent publishes once the share answers.
TEST_F(HungShareTest, StopWhileARenameHangsLeavesFolderAndPortToANewAgent) {
    REQUIRE_SHARE(share);
    ScopedMount small(dir.Path() / "small", "tmpfs", "size=8m");
    ASSERT_TRUE(small.Mounted());
    dir.Write("tarvellin.ini", Settings("D=\"" + (dir.Path() / "small").string() + "\"\n"));
    auto first = std::make_unique<AgentProcess>(dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 5s).starts_with("<html>"); }));
    const std::vector<std::string> before = StatusFiles(Backing());
    ASSERT_EQ(before.size(), 1u);

    // The main drive becomes D, of another size: the next publication renames the status file, into a share
    // that has stopped answering.
    std::string settings = dir.Read("tarvellin.ini");
    settings.replace(settings.find("Directory=C"), 11, "Directory=D");
    dir.Write("tarvellin.ini", settings);
    ASSERT_EQ(kill(first->Pid(), SIGHUP), 0);
    ASSERT_TRUE(WaitUntil([&] { return first->Diagnostics().find("settings reloaded") != std::string::npos; }));
    share.Hang();
    std::thread client([&] { HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 5s); });
    std::this_thread::sleep_for(500ms); // the rename now waits in the share

    const auto start = Clock::now();
    EXPECT_EQ(first->Stop(SIGTERM, 5s), 0);
    EXPECT_LT(Clock::now() - start, 1s);
    client.join();
    first.reset();

    AgentProcess second(dir.Path().string());
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::string reply = HttpExchange(port, "GET /x HTTP/1.1\r\n\r\n", 5s);
            return !reply.empty() && reply != "<connect failed>";
        },
        5s))
        << second.Stderr();
    EXPECT_TRUE(second.Running()) << second.Stderr();
    EXPECT_EQ(StatusFiles(Backing()), before);

    // The rename the first agent left under way is finished once the share answers, under the name it saved; the
    // second agent's first publication then finds the file there.
    share.Answer();
    ASSERT_TRUE(WaitUntil([&] { return StatusFiles(Backing()) != before; }));
    ASSERT_TRUE(HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 5s).starts_with("<html>"));
    const std::vector<std::string> after = StatusFiles(Backing());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0], "空容量8 MByte"); // D's figure
    EXPECT_NE(dir.Read("tarvellin.ini").find("\nFilename=" + after[0] + "\n"), std::string::npos);
    EXPECT_EQ(second.Diagnostics(), "");
    EXPECT_EQ(second.Stop(), 0);
}

} // namespace
