#include "core/capacity/CapacityReading.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"

namespace {

using Names = std::vector<std::string>;

class StatusFileTest : public ::testing::Test {
protected:
    // Publishes name in folder (relative to the TempDir) with the remembered last folder and name.
    void Publish(const std::string& folder, const std::string& name) {
        UpdateStatusFile(platform, lastFolder, lastName, dir.Folder() + folder, name);
    }

    TempDir dir;
    FakePlatform platform;
    std::string lastFolder;
    std::string lastName;
};

TEST_F(StatusFileTest, FirstPublicationCreatesEmptyFileAndRemembersIt) {
    Publish("", "空容量100 MByte");
    EXPECT_EQ(dir.List(), Names{"空容量100 MByte"});
    EXPECT_EQ(lastName, "空容量100 MByte");
    EXPECT_EQ(lastFolder, dir.Folder());
}

TEST_F(StatusFileTest, NewFreeTextRenamesTheFile) {
    Publish("", "空容量100 MByte");
    Publish("", "空容量99 MByte");
    EXPECT_EQ(dir.List(), Names{"空容量99 MByte"});
}

TEST_F(StatusFileTest, SameNameTwiceLeavesOneFile) {
    Publish("", "空容量100 MByte");
    Publish("", "空容量100 MByte");
    EXPECT_EQ(dir.List(), Names{"空容量100 MByte"});
}

TEST_F(StatusFileTest, DeletedFileIsCreatedAgain) {
    Publish("", "空容量100 MByte");
    std::filesystem::remove(dir.Path() / "空容量100 MByte");
    Publish("", "空容量98 MByte");
    EXPECT_EQ(dir.List(), Names{"空容量98 MByte"});
}

TEST_F(StatusFileTest, FolderChangeMovesTheFile) {
    std::filesystem::create_directory(dir.Path() / "a");
    std::filesystem::create_directory(dir.Path() / "b");
    Publish("a/", "空容量100 MByte");
    Publish("b/", "空容量97 MByte");
    EXPECT_EQ(dir.List("a"), Names{});
    EXPECT_EQ(dir.List("b"), Names{"空容量97 MByte"});
    EXPECT_EQ(lastFolder, dir.Folder() + "b/");
}

TEST_F(StatusFileTest, FolderWithoutSeparatorPutsNameBesideIt) {
    std::filesystem::create_directory(dir.Path() / "share");
    Publish("share", "空容量100 MByte");
    EXPECT_EQ(dir.List(), (Names{"share", "share空容量100 MByte"}));
}

TEST_F(StatusFileTest, ExistingTargetIsTruncatedAndPreviousFileRemains) {
    Publish("", "空容量100 MByte");
    dir.Write("空容量90 MByte", "old content");
    Publish("", "空容量90 MByte");
    EXPECT_EQ(dir.List(), (Names{"空容量100 MByte", "空容量90 MByte"}));
    EXPECT_EQ(dir.Read("空容量90 MByte"), "");
    EXPECT_EQ(lastName, "空容量90 MByte");
}

TEST_F(StatusFileTest, FailuresAreSilentAndRememberedAnyway) {
    platform.failCreate = true;
    Publish("missing/", "空容量100 MByte");
    EXPECT_EQ(dir.List(), Names{});
    EXPECT_EQ(lastName, "空容量100 MByte");
    EXPECT_EQ(lastFolder, dir.Folder() + "missing/");

    // The next cycle tries the rename again, fails, and creates the file.
    platform.failCreate = false;
    Publish("", "空容量99 MByte");
    EXPECT_EQ(dir.List(), Names{"空容量99 MByte"});
}

TEST_F(StatusFileTest, RememberedNameReachingIntoOtherFoldersMovesNothing) {
    std::filesystem::create_directory(dir.Path() / "share");
    dir.Write("victim.txt", "keep me");
    lastFolder = dir.Folder() + "share/";
    for (const std::string name : {"../victim.txt", "..", "."}) {
        lastName = name;
        Publish("share/", "空容量100 MByte");
    }
    EXPECT_EQ(dir.Read("victim.txt"), "keep me");
    EXPECT_EQ(dir.List("share"), Names{"空容量100 MByte"});
    EXPECT_EQ(dir.List(), (Names{"share", "victim.txt"}));
}

} // namespace
