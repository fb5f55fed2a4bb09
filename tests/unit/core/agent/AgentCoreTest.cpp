#include "core/agent/AgentCore.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"
#include "core/history/HistoryLog.h"

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
    void Announce(const std::string& text) override { announced.push_back(text); }
    void TellForecast(const std::string& text) override { forecasts.push_back(text); }
    std::vector<std::string> shown;
    std::vector<std::string> forecasts;
    std::vector<std::string> warnings;
    std::vector<std::string> announced;
};

// The settings dialog's window, open while attached.
struct NoExchange : DialogExchange {
    bool PullFromControls() override { return true; }
    void PushToControls() override {}
};

// A history file of drive D filling steadily: count samples, step seconds apart before now, a megabyte more
// free at each earlier one.
std::string SteadyFill(std::int64_t now, int count, int step, std::uint64_t total, std::uint64_t freeAtNow) {
    std::string history = EncodeHistoryHeader();
    for (int i = count; i > 0; --i) {
        history += EncodeHistorySample({now - i * step, 'D', total, freeAtNow + (static_cast<std::uint64_t>(i) << 20)});
    }
    return history;
}

// An agent of its own for one case of a table: a copy of the fixture's machine, a folder and a recorder.
struct CaseAgent {
    explicit CaseAgent(const FakePlatform& base) : machine(base) { machine.unixTime = 1700000000; }
    AgentCore& Start(const std::string& settings, const std::string& history = {}) {
        if (!history.empty()) {
            machine.dataFiles[folder.Folder() + "tarvellin.history"] = history;
        }
        folder.Write("tarvellin.ini", "[Setting]\nPath=\"" + folder.Folder() + "\"\nDirectory=D\nAuto=0\n" + settings);
        agent.emplace(machine, folder.Folder() + "tarvellin.ini", recorder);
        agent->Start();
        return *agent;
    }

    FakePlatform machine;
    TempDir folder;
    RecordingPresenter recorder;
    std::optional<AgentCore> agent;
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

// The drives are measured at the start and once at each change of the minute, only while [History] or [Limits]
// asks for it; without them the agent sleeps as long as before.
TEST_F(AgentCoreTest, WatchSamplesEachMinuteOnlyWhenAskedAndTellsLimits) {
    struct Case {
        const char* name;
        std::string settings;
        std::size_t samples; // in the history file
        std::vector<std::string> announced;
        std::chrono::milliseconds delay;
        std::string reported = {}; // a line on stderr
    };
    const Case cases[] = {
        {"nothing asked", "OtherDrive=1\nDirectory2=E\n", 0, {}, AgentCore::kLongestSleep},
        {"history of two drives", "OtherDrive=1\nDirectory2=EX\n[History]\nDays=1\n", 6, {}, 30020ms},
        {"limit crossed", "[Limits]\nD=50%\n", 0, {"D: low on free space: 420 MByte free (limit 50 %)"}, 30020ms},
        {"limit kept", "[History]\nDays=1\n[Limits]\nD=10%\n", 3, {}, 30020ms},
        {"limit of a drive not watched",
         "[Limits]\nE=10%\n",
         0,
         {},
         30020ms,
         "tarvellin: [Limits] E: drive E is not watched (neither the main drive nor, with OtherDrive=1, in "
         "Directory2): its limit is not checked\n"},
    };
    for (const Case& c : cases) {
        CaseAgent run(platform);
        FakePlatform& machine = run.machine;
        machine.AddDrive('E', 2000, 1500);
        machine.millisecondsToNextMinute = 30000;
        ::testing::internal::CaptureStderr();
        AgentCore& agent = run.Start(c.settings);
        for (const int minute : {0, 1, 1, 2}) {
            machine.minute = minute;
            machine.unixTime = 1700000000 + minute * 60;
            agent.Tick();
        }
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.reported) << c.name;
        const auto file = machine.dataFiles.find(run.folder.Folder() + "tarvellin.history");
        const std::size_t records = file == machine.dataFiles.end() ? 0 : file->second.size() / 32 - 1;
        EXPECT_EQ(records, c.samples) << c.name;
        EXPECT_EQ(run.recorder.announced, c.announced) << c.name;
        EXPECT_EQ(agent.NextTickDelay(), c.delay) << c.name;
    }
}

// With [Display] Forecast=1 the tooltip gets the main drive's forecast on a line of its own.
TEST_F(AgentCoreTest, TooltipShowsTheForecastOnlyWhenAskedAndWithinItsRoom) {
    struct Case {
        const char* name;
        std::string settings;
        std::string tip;
    };
    const Case cases[] = {
        {"not asked", "[History]\nDays=7\n", "tarvellin Dドライブ空容量42%"},
        {"asked", "[History]\nDays=7\n[Display]\nForecast=1\n", "tarvellin Dドライブ空容量42%\nfull in about "},
    };
    for (const Case& c : cases) {
        CaseAgent run(platform);
        // Five hours of a steady fill, one sample every five minutes.
        AgentCore& agent =
            run.Start(c.settings, SteadyFill(run.machine.unixTime, 60, 300, 1000ull << 20, 420ull << 20));
        agent.Tick();
        const std::string& tip = agent.Rules().TipText();
        EXPECT_LE(tip.size(), 127U) << c.name;
        EXPECT_EQ(tip.substr(0, c.tip.size()), c.tip) << c.name << ": " << tip;
        EXPECT_EQ(tip.size() > c.tip.size(), std::string(c.name) == "asked") << c.name << ": " << tip;
    }
}

// A forecast found at the start is the start line's to show; one that comes later is told once, when it comes.
TEST_F(AgentCoreTest, ForecastIsToldWhenItComesNotAtEveryFit) {
    struct Case {
        const char* name;
        int hoursKnownAtStart; // of a steady fill, in the history before the start
        std::size_t told;
    };
    const Case cases[] = {{"known at the start", 5, 0}, {"seen coming", 0, 1}};
    constexpr std::uint64_t kTotal = 200000ull << 20;
    constexpr std::uint64_t kFree = 102400ull << 20;
    for (const Case& c : cases) {
        CaseAgent run(platform);
        FakePlatform& machine = run.machine;
        AgentCore& agent =
            run.Start("[History]\nDays=1\n", SteadyFill(machine.unixTime, c.hoursKnownAtStart * 60, 60, kTotal, kFree));
        // Four hours of the same fill, a megabyte a minute, as the minute ticks see it: full in about 71 days.
        for (std::uint64_t minute = 1; minute <= 240; ++minute) {
            machine.minute = static_cast<int>(minute % 60);
            machine.unixTime += 60;
            machine.drives['D'].space = VolumeSpace{kTotal, kFree - (minute << 20)};
            agent.Tick();
        }
        ASSERT_EQ(run.recorder.forecasts.size(), c.told) << c.name;
        for (const std::string& line : run.recorder.forecasts) {
            EXPECT_EQ(line.substr(0, 17), "D: full in about ") << c.name;
        }
    }
}

// A drive that stops answering shows no trend any more, rather than the last one as if it were current.
TEST_F(AgentCoreTest, DriveThatStopsAnsweringLosesItsTrend) {
    platform.unixTime = 1700000000;
    platform.dataFiles[dir.Folder() + "tarvellin.history"] =
        SteadyFill(platform.unixTime, 60, 300, 1000ull << 20, 420ull << 20);
    Start("[History]\nDays=7\n");
    ASSERT_TRUE(core.GetMonitor().OutlookOf("D")->fullInSeconds);
    platform.drives['D'].space.reset();
    platform.minute = 1;
    core.Tick();
    EXPECT_EQ(*core.GetMonitor().OutlookOf("D"), DriveOutlook{});
}

} // namespace
