// Failed publications and settings saves are told once per folder and change, and so is their recovery.
#include "core/capacity/Monitor.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"

namespace {

using Lines = std::vector<std::string>;

// The state of the machine during one refresh cycle and the lines the cycle writes to stderr.
struct Cycle {
    bool failing = false; // renames, creations and saves fail
    bool stuck = false;   // the folders have not answered an earlier operation
    Lines lines;
};

class FailureReportTest : public ::testing::Test {
protected:
    FailureReportTest() : monitor(platform, dir.Folder() + "tarvellin.ini") {
        platform.AddDrive('C', 1000, 400);
        std::filesystem::create_directory(dir.Path() / "status");
        monitor.Settings().Path = StatusFolder();
    }

    std::string StatusFolder() const { return dir.Folder() + "status/"; }

    // Runs a refresh cycle and returns the lines it reported.
    Lines Refresh() {
        ++monitor.Settings().Time; // a setting changed, so every save has something to write
        ::testing::internal::CaptureStderr();
        monitor.RefreshCycle();
        std::istringstream output(::testing::internal::GetCapturedStderr());
        Lines lines;
        for (std::string line; std::getline(output, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    void Run(const std::vector<Cycle>& cycles, bool failSaves) {
        for (std::size_t i = 0; i < cycles.size(); ++i) {
            platform.failRename = platform.failCreate = !failSaves && cycles[i].failing;
            platform.failSave = failSaves && cycles[i].failing;
            platform.stuckFolder = !cycles[i].stuck ? std::string() : failSaves ? dir.Folder() : StatusFolder();
            EXPECT_EQ(Refresh(), cycles[i].lines) << "cycle " << i;
        }
    }

    TempDir dir;
    FakePlatform platform;
    Monitor monitor;
};

TEST_F(FailureReportTest, FailedPublicationIsReportedOncePerChange) {
    const std::string failed = "tarvellin: status file not published in " + StatusFolder() + ": ";
    Run({{false, false, {}},
         {true, false, {failed + "the file could be neither renamed nor created"}},
         {true, false, {}},
         {true, true, {failed + "the folder did not answer within 2 s"}},
         {true, true, {}},
         {false, false, {"tarvellin: status file published again in " + StatusFolder()}},
         {false, false, {}}},
        false);
}

TEST_F(FailureReportTest, FailedSaveIsReportedOncePerChange) {
    const std::string failed = "tarvellin: settings not saved to " + dir.Folder() + "tarvellin.ini: ";
    Run({{false, false, {}},
         {true, false, {failed + "the file could not be written"}},
         {true, false, {}},
         {true, true, {failed + "the folder did not answer within 2 s"}},
         {false, false, {"tarvellin: settings saved again to " + dir.Folder() + "tarvellin.ini"}},
         {false, false, {}}},
        true);
    platform.failRead = true; // a file known in this run that cannot be read now is left alone
    EXPECT_EQ(Refresh(), Lines{failed + "the file cannot be read"});
}

TEST_F(FailureReportTest, SettingsTheFolderDidNotAnswerAtStartAreNeverSavedOver) {
    const std::string kept = "[Setting]\nPort=1234\nPath=\"" + StatusFolder() + "\"\n";
    dir.Write("tarvellin.ini", kept);
    platform.failRead = true;
    platform.stuckFolder = dir.Folder();
    ::testing::internal::CaptureStderr();
    monitor.LoadSettings();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "tarvellin: settings not read from " + dir.Folder() +
                                                            "tarvellin.ini: the folder did not answer within 2 s; the "
                                                            "defaults are used and the file is not written over\n");

    monitor.Settings().Path = StatusFolder(); // publish into the test's folder, not the current directory

    // The folder answers again: the defaults in memory still do not replace the file.
    platform.failRead = false;
    platform.stuckFolder.clear();
    EXPECT_EQ(Refresh(), Lines{"tarvellin: settings not saved to " + dir.Folder() +
                               "tarvellin.ini: the settings could not be read at start-up"});
    EXPECT_EQ(Refresh(), Lines{});
    EXPECT_EQ(dir.Read("tarvellin.ini"), kept);
}

TEST_F(FailureReportTest, EachFolderIsReportedOnItsOwn) {
    // The main drive publishes; the other drive's folder is missing, then appears.
    const std::string missing = dir.Folder() + "later/";
    monitor.Settings().OtherDrive = 1;
    monitor.Settings().Directory2 = "C";
    monitor.Settings().Path2To10[0] = missing;
    EXPECT_EQ(Refresh(), Lines{"tarvellin: status file not published in " + missing +
                               ": the file could be neither renamed nor created"});
    EXPECT_EQ(Refresh(), Lines{});
    std::filesystem::create_directory(dir.Path() / "later");
    EXPECT_EQ(Refresh(), Lines{"tarvellin: status file published again in " + missing});
    EXPECT_EQ(dir.List("later"), Lines{"空容量400 MByte"});
}

TEST_F(FailureReportTest, StuckFolderIsNotAskedAndKeepsTheRememberedName) {
    // The file an overrunning operation may still leave there is the one the next publication moves.
    Refresh();
    platform.drives['C'].space = VolumeSpace{1000ULL << 20, 390ULL << 20};
    platform.stuckFolder = StatusFolder();
    Refresh();
    EXPECT_EQ(monitor.Settings().Filename, "空容量400 MByte");
    EXPECT_EQ(dir.List("status"), Lines{"空容量400 MByte"});
    platform.stuckFolder.clear();
    Refresh();
    EXPECT_EQ(dir.List("status"), Lines{"空容量390 MByte"});
}

} // namespace
