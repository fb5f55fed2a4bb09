#include "core/capacity/Monitor.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"
#include "core/settings/IniProfile.h"

namespace {

using Log = std::vector<std::string>;

// The fake machine, writing every call the refresh cycle makes into a shared log.
class RecordingPlatform : public FakePlatform {
public:
    explicit RecordingPlatform(Log& log) : m_log(log) {}

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) const override {
        m_log.push_back("capacity " + std::string(root));
        return FakePlatform::DiskFreeSpace(root);
    }
    std::optional<VolumeSpace> CurrentDiskFreeSpace() const override {
        m_log.push_back("capacity current");
        return currentLetter.empty() ? std::nullopt : FakePlatform::DiskFreeSpace(currentLetter + ":\\");
    }
    DriveType GetDriveType(std::string_view root) const override {
        m_log.push_back("type " + std::string(root));
        return FakePlatform::GetDriveType(root);
    }
    bool RenameNoReplace(const std::string& from, const std::string& to) override {
        m_log.push_back("rename");
        return FakePlatform::RenameNoReplace(from, to);
    }
    bool CreateOrTruncate(const std::string& path) override {
        m_log.push_back("create");
        return FakePlatform::CreateOrTruncate(path);
    }
    bool ReplaceFileAtomically(const std::string& path, std::string_view content) override {
        m_log.push_back("save");
        return FakePlatform::ReplaceFileAtomically(path, content);
    }

private:
    Log& m_log;
};

class RecordingDialog : public DialogExchange {
public:
    RecordingDialog(Log& log, Monitor& monitor) : m_log(log), m_monitor(monitor) {}
    bool PullFromControls() override {
        m_log.push_back("pull");
        if (!pulledDirectory.empty()) {
            m_monitor.Settings().Directory = pulledDirectory;
        }
        return false; // a failed validation does not stop the cycle
    }
    void PushToControls() override {
        m_log.push_back("push " + m_monitor.Reading().freeText + " " + m_monitor.Settings().Directory);
    }
    std::string pulledDirectory;

private:
    Log& m_log;
    Monitor& m_monitor;
};

class MonitorTest : public ::testing::Test {
protected:
    MonitorTest() : platform(log), monitor(platform, dir.Folder() + "tarvellin.ini") {
        platform.AddDrive('C', 1000, 400);
        platform.AddDrive('D', 2048, 1535);
        platform.currentLetter = "C";
        monitor.Settings().Path = dir.Folder();
    }

    TempDir dir;
    Log log;
    RecordingPlatform platform;
    Monitor monitor;
};

struct DriveChoiceCase {
    std::string directory;
    std::string directoryAfter;
    int freeMB;
};

void PrintTo(const DriveChoiceCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.directory);
}

class MainDriveChoiceTest : public MonitorTest, public ::testing::WithParamInterface<DriveChoiceCase> {};

TEST_P(MainDriveChoiceTest, MeasuresConfiguredDriveOrFallsBackToCurrentOne) {
    monitor.Settings().Directory = GetParam().directory;
    monitor.MeasureMainDrive();
    EXPECT_EQ(monitor.Settings().Directory, GetParam().directoryAfter);
    EXPECT_EQ(monitor.Reading().freeMB, GetParam().freeMB);
}

INSTANTIATE_TEST_SUITE_P(Table, MainDriveChoiceTest,
                         ::testing::Values(DriveChoiceCase{"", "C", 400}, DriveChoiceCase{"D", "D", 1535},
                                           DriveChoiceCase{"d", "d", 1535}, // the letter keeps its case
                                           DriveChoiceCase{"Q", "C", 400}, DriveChoiceCase{"D:", "C", 400},
                                           DriveChoiceCase{"DD", "C", 400}));

TEST_F(MonitorTest, FigureAreZeroWhenEvenTheCurrentDriveCannotBeMeasured) {
    platform.drives['C'].space.reset();
    monitor.Settings().Directory = "Q";
    monitor.Reading().freeMB = 5;
    monitor.MeasureMainDrive();
    EXPECT_EQ(monitor.Settings().Directory, "C");
    EXPECT_EQ(monitor.Reading().freeMB, 0);
    EXPECT_EQ(monitor.Reading().totalMB, 0);
    EXPECT_EQ(monitor.Reading().usedMB, 0);
}

// The current directory on a volume without a letter of its own (a mount the drive table does not list):
// the figure must be that of the letter the fallback stores.
class UnlistedCurrentVolume : public FakePlatform {
public:
    std::optional<VolumeSpace> CurrentDiskFreeSpace() const override { return VolumeSpace{999u << 20, 7u << 20}; }
};

TEST(MainDriveFallback, FigureIsThatOfTheLetterItStores) {
    for (const std::string directory : {"", "Q"}) {
        UnlistedCurrentVolume platform;
        platform.AddDrive('C', 1000, 400);
        platform.currentLetter = "C";
        Monitor monitor(platform, "tarvellin.ini");
        monitor.Settings().Directory = directory;
        monitor.MeasureMainDrive();
        EXPECT_EQ(monitor.Settings().Directory, "C");
        EXPECT_EQ(monitor.Reading().freeMB, 400) << "Directory was " << directory;
        EXPECT_EQ(monitor.Reading().totalMB, 1000);
    }
}

TEST_F(MonitorTest, OpeningMeasurementLeavesEmptyDirectoryEmpty) {
    monitor.OpeningMeasurement();
    EXPECT_EQ(monitor.Settings().Directory, "");
    EXPECT_EQ(monitor.Reading().freeMB, 400);
    monitor.Settings().Directory = "Q";
    monitor.OpeningMeasurement();
    EXPECT_EQ(monitor.Settings().Directory, "C");
    monitor.Settings().Directory = "D";
    monitor.OpeningMeasurement();
    EXPECT_EQ(monitor.Reading().freeMB, 1535);
    EXPECT_EQ(monitor.Reading().freeText, ""); // no texts are built
}

TEST_F(MonitorTest, RefreshCycleRunsItsStepsInOrder) {
    RecordingDialog dialog(log, monitor);
    dialog.pulledDirectory = "D";
    monitor.AttachDialog(&dialog);
    monitor.Settings().GByte = 1;
    monitor.Settings().OtherDrive = 1;
    monitor.Settings().Directory2 = "C";
    monitor.Settings().Path2To10[0] = dir.Folder();
    monitor.Settings().Keikoku = 1;
    monitor.Settings().Nokori = 1536;

    monitor.RefreshCycle();

    const Log expected = {"pull",   "capacity D:\\", "push 空容量1.50 GByte D", "create", "type C:\\", "capacity C:\\",
                          "create", "save",          "push 空容量1.50 GByte D"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(monitor.WarningPending(), 1);
    EXPECT_EQ(monitor.Settings().Filename, "空容量1.50 GByte");
    EXPECT_EQ(monitor.Settings().Filename2To10[0], "空容量0.39 GByte");
    const IniProfile saved(dir.Read("tarvellin.ini"));
    EXPECT_EQ(saved.GetProfileString("Setting", "Filename"), "空容量1.50 GByte");
    EXPECT_EQ(saved.GetProfileString("Setting", "Filename2"), "空容量0.39 GByte");
    EXPECT_EQ(saved.GetProfileString("Setting", "Directory"), "D");
}

TEST_F(MonitorTest, RefreshCycleWithoutWindowOrOtherDrivesOnlyMeasuresPublishesAndSaves) {
    monitor.Settings().Directory2 = "C";
    monitor.Settings().OtherDrive = 2; // flags count only when 1
    monitor.CountMinute();
    monitor.RefreshCycle();
    EXPECT_EQ(log, (Log{"capacity C:\\", "create", "save"}));
    EXPECT_EQ(monitor.Settings().Directory, "C");
    EXPECT_EQ(monitor.MinuteCounter(), 0);
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"tarvellin.ini", "空容量400 MByte"}));

    log.clear();
    platform.drives['C'].space = VolumeSpace{1000ULL << 20, 390ULL << 20};
    monitor.RefreshCycle();
    EXPECT_EQ(log, (Log{"capacity C:\\", "rename", "save"}));
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"tarvellin.ini", "空容量390 MByte"}));
}

// A settings file removed while the agent runs (after the load, or after a save of this run) is
// written again by the next save, with the settings held in memory.
TEST_F(MonitorTest, SettingsFileDeletedWhileRunningIsCreatedAgainByTheNextSave) {
    for (const bool savedBefore : {false, true}) {
        dir.Write("tarvellin.ini", "[Setting]\nPort=9000\n");
        monitor.LoadSettings();
        if (savedBefore) {
            monitor.SaveSettings();
        }
        std::filesystem::remove(dir.Path() / "tarvellin.ini");
        monitor.Settings().Nokori = 42;
        monitor.SaveSettings();

        const IniProfile saved(dir.Read("tarvellin.ini"));
        EXPECT_EQ(saved.GetProfileInt("Setting", "Port", 0), 9000) << savedBefore;
        EXPECT_EQ(saved.GetProfileInt("Setting", "Nokori", 0), 42) << savedBefore;
    }
}

struct WarningCase {
    int keikoku;
    int nokori;
    int pending;
};

void PrintTo(const WarningCase& c, std::ostream* os) {
    *os << "Keikoku " << c.keikoku << " Nokori " << c.nokori;
}

class WarningCheckTest : public MonitorTest, public ::testing::WithParamInterface<WarningCase> {};

TEST_P(WarningCheckTest, SetsPendingOnlyBelowThreshold) {
    monitor.Settings().Keikoku = GetParam().keikoku;
    monitor.Settings().Nokori = GetParam().nokori;
    monitor.RefreshCycle(); // free 400 MB on drive C
    EXPECT_EQ(monitor.WarningPending(), GetParam().pending);
}

INSTANTIATE_TEST_SUITE_P(Table, WarningCheckTest,
                         ::testing::Values(WarningCase{1, 400, 0}, WarningCase{1, 401, 1}, WarningCase{0, 1000, 0},
                                           WarningCase{2, 1000, 0}, WarningCase{1, -1, 0}));

TEST_F(MonitorTest, WarningCheckNeverClearsThePendingFlag) {
    monitor.RaiseWarning();
    monitor.Settings().Keikoku = 1;
    monitor.Settings().Nokori = 0;
    monitor.RefreshCycle();
    EXPECT_EQ(monitor.WarningPending(), 1);
}

} // namespace
