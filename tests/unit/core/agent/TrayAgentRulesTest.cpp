#include "core/agent/TrayAgentRules.h"

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"
#include "core/capacity/Monitor.h"

namespace {

class TrayAgentRulesTest : public ::testing::Test {
protected:
    TrayAgentRulesTest() : monitor(platform, dir.Folder() + "tarvellin.ini"), rules(monitor) {
        platform.AddDrive('C', 1000, 420);
        platform.AddDrive('D', 100, 42);
        platform.currentLetter = "D";
    }

    void WriteSettings(const std::string& lines) {
        dir.Write("tarvellin.ini", "[Setting]\nPath=\"" + dir.Folder() + "\"\n" + lines);
    }
    // One tick whose warning box is answered with boxResult; returns whether it refreshed.
    bool Tick(int boxResult = 1) {
        rules.Tick([this, boxResult](const std::string& text) {
            boxes.push_back(text);
            return boxResult;
        });
        return rules.RefreshedOnLastTick();
    }
    // Ticks once in each of the given minutes and lists the ticks (0-based) that refreshed.
    std::vector<int> TickThrough(const std::vector<int>& minutes) {
        std::vector<int> refreshed;
        for (std::size_t i = 0; i < minutes.size(); ++i) {
            platform.minute = minutes[i];
            if (Tick()) {
                refreshed.push_back(static_cast<int>(i));
            }
        }
        return refreshed;
    }

    TempDir dir;
    FakePlatform platform;
    Monitor monitor;
    TrayAgentRules rules;
    std::vector<std::string> boxes;
};

TEST_F(TrayAgentRulesTest, FirstStartWithoutSettingsMeasuresTheCurrentDrive) {
    platform.minute = 17;
    int port = 0;
    monitor.Slots()[4].type = DriveType::Fixed;
    rules.Initialise([&](int p, const std::string&) { port = p; });
    EXPECT_EQ(port, 8085);
    EXPECT_EQ(monitor.Settings().Directory, "D");
    EXPECT_EQ(rules.TipText(), "tarvellin Dドライブ42%");
    EXPECT_EQ(rules.Level(), 5);
    EXPECT_EQ(monitor.Reading().freeText, "空容量42 MByte");
    EXPECT_EQ(monitor.Reading().totalText, "全容量100 MByte");
    EXPECT_EQ(monitor.Reading().usedText, "使用量58 MByte");
    EXPECT_EQ(monitor.Slots()[4].type, DriveType::Unknown);
    EXPECT_EQ(platform.saves, 0); // the first measurement saves nothing

    Tick();
    EXPECT_EQ(rules.TipText(), "tarvellin Dドライブ空容量42%");
}

struct FirstTipCase {
    std::string directory;
    std::string firstTip;
    std::string directoryAfter;
};

void PrintTo(const FirstTipCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.directory);
}

class FirstTipTest : public TrayAgentRulesTest, public ::testing::WithParamInterface<FirstTipCase> {};

TEST_P(FirstTipTest, NamesTheMeasuredDrive) {
    WriteSettings("Directory=" + GetParam().directory + "\nGByte=1\n");
    rules.Initialise();
    EXPECT_EQ(rules.TipText(), GetParam().firstTip);
    EXPECT_EQ(monitor.Settings().Directory, GetParam().directoryAfter);
}

INSTANTIATE_TEST_SUITE_P(Table, FirstTipTest,
                         ::testing::Values(FirstTipCase{"C", "tarvellin Cドライブ空容量42%", "C"},
                                           FirstTipCase{"c", "tarvellin cドライブ空容量42%", "c"},
                                           // a drive that cannot be measured falls back to the current one
                                           FirstTipCase{"Q", "tarvellin Dドライブ空容量42%", "D"},
                                           FirstTipCase{"C:", "tarvellin Dドライブ空容量42%", "D"}));

struct PercentTipCase {
    long long freeMB;
    long long totalMB;
    std::string tip;
};

void PrintTo(const PercentTipCase& c, std::ostream* os) {
    *os << c.freeMB << "/" << c.totalMB;
}

class PercentTipTest : public TrayAgentRulesTest, public ::testing::WithParamInterface<PercentTipCase> {};

TEST_P(PercentTipTest, PrintsPercentInTwoColumns) {
    platform.AddDrive('C', GetParam().totalMB, GetParam().freeMB);
    WriteSettings("Directory=C\n");
    rules.Initialise();
    Tick();
    EXPECT_EQ(rules.TipText(), GetParam().tip);
}

INSTANTIATE_TEST_SUITE_P(Table, PercentTipTest,
                         ::testing::Values(PercentTipCase{5, 100, "tarvellin Cドライブ空容量 5%"},
                                           PercentTipCase{100, 100, "tarvellin Cドライブ空容量100%"},
                                           PercentTipCase{0, 100, "tarvellin Cドライブ空容量 0%"},
                                           // 30 TiB with 12 TiB free
                                           PercentTipCase{12LL << 20, 30LL << 20, "tarvellin Cドライブ空容量40%"},
                                           PercentTipCase{0, 0, "tarvellin Cドライブ空容量 0%"}));

TEST_F(TrayAgentRulesTest, TipIsBoundedAtACharacterBoundary) {
    rules.Initialise();
    std::string directory = "C";
    for (int i = 0; i < 60; ++i) {
        directory += "ド";
    }
    monitor.Settings().Directory = directory;
    Tick();
    const std::string& tip = rules.TipText();
    EXPECT_LE(tip.size(), 127U);
    EXPECT_GE(tip.size(), 125U);
    EXPECT_EQ(tip.substr(0, 11), "tarvellin C");
    EXPECT_EQ((tip.size() - 11) % 3, 0U); // whole three-byte characters only
}

TEST_F(TrayAgentRulesTest, AutomaticRefreshOnFirstTickThenAfterTimeMinuteChanges) {
    WriteSettings("Auto=1\nTime=3\n");
    platform.minute = 10;
    rules.Initialise();
    // minutes:                        10  10  11  11  12  13  13  14  15  16  17
    EXPECT_EQ(TickThrough({10, 10, 11, 11, 12, 13, 13, 14, 15, 16, 17}), (std::vector<int>{0, 6, 10}));
    EXPECT_EQ(platform.saves, 1); // the later refreshes find the file holding the same bytes
}

TEST_F(TrayAgentRulesTest, RefreshOfAnotherOriginRestartsTheCount) {
    WriteSettings("Auto=1\nTime=3\n");
    platform.minute = 0;
    rules.Initialise();
    EXPECT_EQ(TickThrough({0, 1, 2}), (std::vector<int>{0}));
    monitor.RefreshCycle(); // for example the update button, one minute before the automatic refresh
    EXPECT_EQ(TickThrough({3, 4, 5, 5}), (std::vector<int>{3}));
}

TEST_F(TrayAgentRulesTest, TimeLoweredBelowCounterStopsRefreshesUntilAnotherRefresh) {
    WriteSettings("Auto=1\nTime=3\n");
    platform.minute = 0;
    rules.Initialise();
    EXPECT_EQ(TickThrough({0, 1, 2}), (std::vector<int>{0}));
    monitor.Settings().Time = 1; // the counter is already 2
    EXPECT_EQ(TickThrough({3, 4, 5, 6, 7}), (std::vector<int>{}));
    monitor.RefreshCycle(); // counter 0: Time minute changes later the automatic refresh runs again
    EXPECT_EQ(TickThrough({8, 8, 9, 9}), (std::vector<int>{1, 3}));
}

TEST_F(TrayAgentRulesTest, TimeZeroRefreshesOnlyAfterAnotherRefreshWhileMinuteChanged) {
    WriteSettings("Auto=1\nTime=0\n");
    platform.minute = 0;
    rules.Initialise();
    EXPECT_EQ(TickThrough({0, 1, 2, 3}), (std::vector<int>{0}));
    monitor.RefreshCycle(); // counter 0 while the minute-changed flag is 1
    EXPECT_EQ(TickThrough({3, 4, 5}), (std::vector<int>{0}));
}

TEST_F(TrayAgentRulesTest, NothingIsCountedWhileAutoIsOff) {
    WriteSettings("Auto=0\nTime=2\n");
    platform.minute = 0;
    rules.Initialise();
    EXPECT_EQ(TickThrough({0, 1, 2, 3, 4}), (std::vector<int>{}));
    EXPECT_EQ(monitor.MinuteCounter(), 2);
    monitor.Settings().Auto = 1; // counter and flag kept their values
    EXPECT_EQ(TickThrough({4}), (std::vector<int>{0}));
}

TEST_F(TrayAgentRulesTest, UnavailableLocalTimeCountsAsMinuteMinusOne) {
    WriteSettings("Auto=1\nTime=1\n");
    platform.minute = 5;
    rules.Initialise();
    EXPECT_EQ(TickThrough({5, -1, -1, 5}), (std::vector<int>{0, 2}));
}

TEST_F(TrayAgentRulesTest, WarningBoxFollowsOnlyAnAutomaticRefresh) {
    WriteSettings("Auto=1\nTime=1\nKeikoku=1\nNokori=50\nDirectory=D\n");
    platform.minute = 0;
    rules.Initialise();
    Tick();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0], "残り容量が50MBを切りました\nHDDを整理してください");
    EXPECT_EQ(monitor.WarningPending(), 0);

    monitor.RefreshCycle(); // a manual refresh sets the flag again, the box waits
    EXPECT_EQ(monitor.WarningPending(), 1);
    TickThrough({0, 0});
    EXPECT_EQ(boxes.size(), 1U);
    TickThrough({1, 1});
    EXPECT_EQ(boxes.size(), 2U);
}

TEST_F(TrayAgentRulesTest, OnlyOneWarningBoxAtATime) {
    WriteSettings("Auto=1\nTime=0\nKeikoku=1\nNokori=50\nDirectory=D\n");
    platform.minute = 0;
    rules.Initialise();
    int shown = 0;
    int nestedRefreshes = 0;
    rules.Tick([&](const std::string&) {
        ++shown;
        EXPECT_EQ(rules.WarningGuard(), 0);
        // Ticks go on inside the box: an automatic refresh there sets the flag but shows no second box.
        platform.minute = 1;
        rules.Tick([&](const std::string&) { return ++shown; });
        monitor.RefreshCycle();
        rules.Tick([&](const std::string&) { return ++shown; });
        nestedRefreshes += rules.RefreshedOnLastTick() ? 1 : 0;
        return 1;
    });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(nestedRefreshes, 1);
    EXPECT_EQ(monitor.WarningPending(), 0);
    EXPECT_EQ(rules.WarningGuard(), 1);
}

TEST_F(TrayAgentRulesTest, BoxThatCannotBeShownStopsFurtherBoxes) {
    WriteSettings("Auto=1\nTime=1\nKeikoku=1\nNokori=50\nDirectory=D\n");
    platform.minute = 0;
    rules.Initialise();
    Tick(0);
    EXPECT_EQ(boxes.size(), 1U);
    EXPECT_EQ(rules.WarningGuard(), 0);
    for (int minute = 1; minute < 5; ++minute) {
        platform.minute = minute;
        Tick(0);
        Tick(0);
    }
    EXPECT_EQ(boxes.size(), 1U);
    EXPECT_EQ(monitor.WarningPending(), 1); // set by each refresh, never shown again
}

TEST(WarningTextTest, NamesTheThreshold) {
    EXPECT_EQ(WarningText(100), "残り容量が100MBを切りました\nHDDを整理してください");
    EXPECT_EQ(WarningText(-5), "残り容量が-5MBを切りました\nHDDを整理してください");
}

} // namespace
