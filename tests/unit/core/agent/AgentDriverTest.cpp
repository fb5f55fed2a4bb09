#include "core/agent/AgentDriver.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"

namespace {

using namespace std::chrono_literals;

using Arms = std::vector<std::chrono::milliseconds>;

// A face whose warning box runs a refresh from the port while it is up.
class BoxFace : public AgentPresenter {
public:
    void ShowStatus(const std::string& /*tipText*/, int /*level*/) override {}
    int ShowWarning(const std::string& /*text*/) override {
        return driver->RunWarningBox([this] {
            arms.push_back(-1ms); // the box is up
            monitor->RefreshCycle(RefreshTrigger::Network);
            return 1;
        });
    }
    Arms arms;
    AgentDriver* driver = nullptr;
    Monitor* monitor = nullptr;
};

// A change inside a tick waits for the arming after it; one while the tick's warning box is up wakes the timer at
// once, after the box re-armed it a tick's length ahead.
TEST(AgentDriverTest, ArmsAroundTicksChangesAndTheWarningBox) {
    TempDir dir;
    FakePlatform platform;
    platform.AddDrive('D', 1000, 420);
    platform.currentLetter = "D";
    dir.Write("tarvellin.ini",
              "[Setting]\nPath=\"" + dir.Folder() + "\"\nDirectory=D\nAuto=1\nTime=0\nKeikoku=1\nNokori=500\n");
    BoxFace face;
    AgentCore core(platform, dir.Folder() + "tarvellin.ini", face);
    AgentDriver driver(core, [&face](std::chrono::milliseconds delay) { face.arms.push_back(delay); });
    face.driver = &driver;
    face.monitor = &core.GetMonitor();

    driver.Start({});
    core.GetMonitor().RefreshCycle(RefreshTrigger::Network);
    driver.OnTimer(); // the automatic refresh, then the warning
    EXPECT_EQ(face.arms,
              (Arms{AgentCore::kTickInterval, 0ms, AgentCore::kTickInterval, -1ms, 0ms, core.NextTickDelay()}));
}

TEST(AgentDriverTest, ExitWaitsForAnOpenSettingsDialog) {
    TempDir dir;
    FakePlatform platform;
    BoxFace face;
    AgentCore core(platform, dir.Folder() + "tarvellin.ini", face);
    AgentDriver driver(core, [](std::chrono::milliseconds) {});
    int closes = 0;
    EXPECT_TRUE(driver.ExitNow(false, [&closes] { ++closes; }));
    EXPECT_FALSE(driver.ExitPending());
    EXPECT_FALSE(driver.ExitNow(true, [&closes] { ++closes; }));
    EXPECT_TRUE(driver.ExitPending());
    EXPECT_EQ(closes, 1);
}

} // namespace
