#include "core/agent/AgentCore.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"

namespace {

using namespace std::chrono_literals;

class RecordingPresenter : public AgentPresenter {
public:
    void ShowStatus(const std::string& tipText, int level) override {
        shown.push_back(tipText + " level " + std::to_string(level));
    }
    int ShowWarning(const std::string& text) override {
        warnings.push_back(text);
        return 1;
    }
    std::vector<std::string> shown;
    std::vector<std::string> warnings;
};

// The settings dialog's window, open while attached.
struct NoExchange : DialogExchange {
    bool PullFromControls() override { return true; }
    void PushToControls() override {}
};

class AgentCoreTest : public ::testing::Test {
protected:
    AgentCoreTest() {
        platform.AddDrive('D', 1000, 420);
        platform.currentLetter = "D";
    }
    void Start(const std::string& lines) {
        dir.Write("tarvellin.ini", "[Setting]\nPath=\"" + dir.Folder() + "\"\nDirectory=D\n" + lines);
        core.Start();
    }

    TempDir dir;
    FakePlatform platform;
    RecordingPresenter presenter;
    AgentCore core{platform, dir.Folder() + "tarvellin.ini", presenter};
};

// The agent sleeps until a tick can change what it shows or does.
TEST_F(AgentCoreTest, SleepsUntilTheNextTickCanChangeAnything) {
    struct Case {
        const char* name;
        std::string settings;
        int ticksFirst;
        int toNextMinute;
        bool dialogOpen;
        std::chrono::milliseconds expected;
    };
    const Case cases[] = {
        {"no automatic refresh", "Auto=0\n", 1, 30000, false, AgentCore::kLongestSleep},
        {"refresh due at the next tick", "Auto=1\nTime=0\n", 0, 30000, false, AgentCore::kTickInterval},
        {"counting minutes", "Auto=1\nTime=5\n", 1, 30000, false, 30000ms + AgentCore::kMinuteMargin},
        {"minute about to change", "Auto=1\nTime=5\n", 1, 1, false, 1ms + AgentCore::kMinuteMargin},
        {"settings dialog open", "Auto=0\n", 1, 30000, true, AgentCore::kTickInterval},
    };
    for (const Case& c : cases) {
        RecordingPresenter recorder;
        FakePlatform machine = platform;
        machine.millisecondsToNextMinute = c.toNextMinute;
        TempDir folder;
        folder.Write("tarvellin.ini", "[Setting]\nPath=\"" + folder.Folder() + "\"\nDirectory=D\n" + c.settings);
        AgentCore agent(machine, folder.Folder() + "tarvellin.ini", recorder);
        agent.Start();
        for (int i = 0; i < c.ticksFirst; ++i) {
            agent.Tick();
        }
        NoExchange dialog;
        if (c.dialogOpen) {
            agent.GetMonitor().AttachDialog(&dialog);
        }
        EXPECT_EQ(agent.NextTickDelay(), c.expected) << c.name;
        agent.GetMonitor().AttachDialog(nullptr);
    }
}

TEST_F(AgentCoreTest, StatusIsHandedOverOnlyWhenItChanges) {
    Start("Auto=0\n");
    core.Tick();
    core.Tick();
    platform.drives['D'].space = VolumeSpace{1000ull << 20, 100ull << 20};
    core.GetMonitor().RefreshCycle();
    core.Tick();
    core.Tick();
    EXPECT_EQ(presenter.shown, (std::vector<std::string>{"tarvellin Dドライブ空容量42% level 5",
                                                         "tarvellin Dドライブ空容量10% level 2"}));
}

TEST_F(AgentCoreTest, ChangesOutsideATickReachTheObserver) {
    int changes = 0;
    core.GetMonitor().SetChangeObserver([&changes] { ++changes; });
    Start("Auto=0\n");
    core.GetMonitor().RefreshCycle(); // a refresh from the port or a dialog button
    NoExchange dialog;
    core.GetMonitor().AttachDialog(&dialog); // the settings dialog opens ...
    core.GetMonitor().AttachDialog(nullptr); // ... and closes
    EXPECT_EQ(changes, 3);
}

// A hand edit reaches the agent on a reload, as at start: a refresh then publishes and saves the edited values
// instead of writing the old ones back. The port read at start stays.
TEST_F(AgentCoreTest, ReloadTakesHandEditsAndKeepsTheListenedPort) {
    std::vector<int> listened;
    dir.Write("tarvellin.ini", "[Setting]\nPath=\"" + dir.Folder() + "\"\nDirectory=D\nPort=8085\n");
    core.Start([&listened](int port, const std::string&) { listened.push_back(port); });
    core.GetMonitor().RefreshCycle();
    ASSERT_EQ(dir.List(), (std::vector<std::string>{"tarvellin.ini", "空容量420 MByte"}));

    std::string edited = dir.Read("tarvellin.ini");
    edited.replace(edited.find("GByte=0"), 7, "GByte=1");
    edited.replace(edited.find("Port=8085"), 9, "Port=9000");
    dir.Write("tarvellin.ini", edited);
    int pushes = 0;
    struct CountingExchange : NoExchange {
        explicit CountingExchange(int& count) : pushes(count) {}
        void PushToControls() override { ++pushes; }
        int& pushes;
    } dialog(pushes);
    core.GetMonitor().AttachDialog(&dialog);

    ::testing::internal::CaptureStderr();
    core.ReloadSettings();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "tarvellin: settings reloaded from " + dir.Folder() +
                  "tarvellin.ini; Port=9000 takes effect at the next start (the port stays 8085 until then)\n");
    EXPECT_EQ(listened, std::vector<int>{8085});
    EXPECT_EQ(pushes, 1) << "the open settings dialog shows what was read";
    core.GetMonitor().AttachDialog(nullptr);

    core.GetMonitor().RefreshCycle();
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"tarvellin.ini", "空容量0.41 GByte"}));
    EXPECT_NE(dir.Read("tarvellin.ini").find("GByte=1"), std::string::npos);
    EXPECT_NE(dir.Read("tarvellin.ini").find("Port=9000"), std::string::npos);
}

} // namespace
