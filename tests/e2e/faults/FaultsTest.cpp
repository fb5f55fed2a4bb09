// Faults injected into a running agent: folders missing, read-only or full, the disk filling up during the
// save, SIGKILL in the middle of refreshes, a drive that goes away, the port taken by another program.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "AgentProcess.h"
#include "ScopedMount.h"
#include "TempDir.h"
#include "core/settings/IniProfile.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kFreePrefix = "空容量";

// The settings file of an agent that answers /renew on port, with a drive table and extra lines.
std::string Settings(int port, const std::string& path, const std::string& extra = {}) {
    return "[Setting]\nPath=\"" + path + "\"\nNetWork=1\nPort=" + std::to_string(port) + "\nDirectory=C\n" + extra +
           "[Drives]\nC=\"/\"\n";
}

// Status files (names starting with the free label) in a folder.
std::vector<std::string> StatusFiles(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kFreePrefix, 0) == 0 || name == "FIXED" || name == "REMOTE" || name == "NO RAM DISK") {
            names.push_back(name);
        }
    }
    return names;
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// True when the settings file holds the whole section as the save writes it.
bool CompleteSettings(const std::string& text) {
    const IniProfile profile(text);
    const auto entries = profile.Entries("Setting");
    return entries.size() >= 33 && entries.back().first == "Filename10" &&
           profile.GetProfileString("Setting", "Filename").rfind(kFreePrefix, 0) == 0;
}

bool Renew(int port) {
    return HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 5s).rfind("<html>", 0) == 0;
}

// Fills a filesystem until nothing more can be written.
void Fill(const fs::path& folder) {
    std::ofstream out(folder / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (out.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
    out.close();
    for (int i = 0; i < 100000; ++i) { // the inodes too
        std::ofstream empty(folder / ("f" + std::to_string(i)));
        if (!empty) {
            break;
        }
    }
}

TEST(Faults, MissingStatusFolderIsCreatedIntoOnceItExists) {
    TempDir dir;
    const int port = FreePort();
    const fs::path status = dir.Path() / "later";
    dir.Write("tarvellin.ini", Settings(port, status.string() + "/"));
    AgentProcess agent(dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return Renew(port); }));
    EXPECT_TRUE(CompleteSettings(dir.Read("tarvellin.ini")));

    fs::create_directory(status);
    ASSERT_TRUE(Renew(port));
    EXPECT_EQ(StatusFiles(status).size(), 1u);
    EXPECT_TRUE(agent.Running());
    EXPECT_EQ(agent.Stop(), 0);
}

TEST(Faults, ReadOnlyAndFullStatusFoldersAreSurvivedAndRetried) {
    TempDir dir;
    ScopedMount readOnly(dir.Path() / "ro", "tmpfs", "size=1m");
    ScopedMount full(dir.Path() / "full", "tmpfs", "size=64k,nr_inodes=64");
    REQUIRE_MOUNT(readOnly);
    REQUIRE_MOUNT(full);
    ASSERT_TRUE(readOnly.Remount("tmpfs", MS_RDONLY, "size=1m"));
    Fill(dir.Path() / "full");

    const int port = FreePort();
    dir.Write("tarvellin.ini",
              Settings(port, (dir.Path() / "ro").string() + "/",
                       "OtherDrive=1\nDirectory2=C\nPath2=\"" + (dir.Path() / "full").string() + "/\"\n"));
    AgentProcess agent(dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return Renew(port); }));
    ASSERT_TRUE(Renew(port));
    EXPECT_TRUE(StatusFiles(dir.Path() / "ro").empty());
    EXPECT_TRUE(StatusFiles(dir.Path() / "full").empty());
    EXPECT_TRUE(CompleteSettings(dir.Read("tarvellin.ini")));

    // Once the folders take files again, the next refresh publishes into both.
    ASSERT_TRUE(readOnly.Remount("tmpfs", 0, "size=1m"));
    fs::remove_all(dir.Path() / "full" / "filler");
    fs::remove(dir.Path() / "full" / "f0");
    ASSERT_TRUE(Renew(port));
    EXPECT_EQ(StatusFiles(dir.Path() / "ro").size(), 1u);
    EXPECT_EQ(StatusFiles(dir.Path() / "full").size(), 1u);
    EXPECT_EQ(agent.Stop(), 0);
}

TEST(Faults, LinksPlantedAtTheStatusFileAndTheLockAreNotFollowed) {
    TempDir dir;
    ScopedMount measured(dir.Path() / "measured", "tmpfs", "size=8m"); // nobody writes there: a known name
    REQUIRE_MOUNT(measured);
    const fs::path victim = dir.Write("home/authorized_keys", "secret");
    fs::create_symlink(victim, dir.Path() / "空容量8 MByte");
    fs::create_symlink(victim, dir.Path() / "tarvellin.lock");
    const int port = FreePort();
    std::string settings = Settings(port, dir.Folder()) + "M=\"" + (dir.Path() / "measured").string() + "\"\n";
    dir.Write("tarvellin.ini", settings.replace(settings.find("Directory=C"), 11, "Directory=M"));
    AgentProcess agent(dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return Renew(port); }));
    EXPECT_NE(agent.Stderr().find("tarvellin.lock: a symbolic link, which is not followed"), std::string::npos);
    EXPECT_NE(agent.Stderr().find("status file not published in " + dir.Folder()), std::string::npos);
    EXPECT_EQ(ReadFile(victim), "secret");
    EXPECT_EQ(agent.Stop(), 0);
}

TEST(Faults, DiskFillingUpDuringTheSaveLeavesTheOldSettingsWhole) {
    TempDir dir;
    ScopedMount work(dir.Path() / "work", "tmpfs", "size=256k");
    REQUIRE_MOUNT(work);
    const fs::path folder = dir.Path() / "work";
    const int port = FreePort();
    { std::ofstream(folder / "tarvellin.ini") << Settings(port, dir.Folder()); }
    AgentProcess agent(folder.string());
    ASSERT_TRUE(WaitUntil([&] { return Renew(port); }));
    const std::string saved = ReadFile(folder / "tarvellin.ini");
    ASSERT_TRUE(CompleteSettings(saved));

    Fill(folder);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Renew(port)); // the request is still answered
        EXPECT_EQ(ReadFile(folder / "tarvellin.ini"), saved);
    }
    EXPECT_EQ(StatusFiles(dir.Path()).size(), 1u);

    // With room again, the next refresh saves.
    fs::remove(folder / "filler");
    ASSERT_TRUE(Renew(port));
    EXPECT_TRUE(CompleteSettings(ReadFile(folder / "tarvellin.ini")));
    EXPECT_EQ(agent.Stop(), 0);
}

TEST(Faults, ReadOnlySettingsFolderKeepsTheAgentServing) {
    TempDir dir;
    ScopedMount work(dir.Path() / "work", "tmpfs", "size=1m");
    REQUIRE_MOUNT(work);
    const fs::path folder = dir.Path() / "work";
    const int port = FreePort();
    const std::string original = Settings(port, dir.Folder(), "; a comment the save keeps\n");
    { std::ofstream(folder / "tarvellin.ini") << original; }
    ASSERT_TRUE(work.Remount("tmpfs", MS_RDONLY, "size=1m"));
    AgentProcess agent(folder.string());
    ASSERT_TRUE(WaitUntil([&] { return Renew(port); }));
    EXPECT_EQ(ReadFile(folder / "tarvellin.ini"), original);
    EXPECT_EQ(StatusFiles(dir.Path()).size(), 1u);

    ASSERT_TRUE(work.Remount("tmpfs", 0, "size=1m"));
    ASSERT_TRUE(Renew(port));
    const std::string saved = ReadFile(folder / "tarvellin.ini");
    EXPECT_TRUE(CompleteSettings(saved));
    EXPECT_NE(saved.find("; a comment the save keeps"), std::string::npos);
    EXPECT_EQ(agent.Stop(), 0);
}

TEST(Faults, SettingsFileDeletedWhileRunningIsWrittenAgain) {
    TempDir dir;
    const int port = FreePort();
    dir.Write("tarvellin.ini", Settings(port, dir.Folder(), "Nokori=77\n"));
    AgentProcess agent(dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return Renew(port); }));

    fs::remove(dir.Path() / "tarvellin.ini");
    ASSERT_TRUE(Renew(port));
    const std::string saved = dir.Read("tarvellin.ini");
    EXPECT_TRUE(CompleteSettings(saved)) << saved;
    EXPECT_EQ(IniProfile(saved).GetProfileInt("Setting", "Nokori", 0), 77);
    EXPECT_EQ(IniProfile(saved).GetProfileInt("Setting", "Port", 0), port);
    EXPECT_EQ(agent.Stop(), 0);
}

TEST(Faults, WritableSettingsFileInReadOnlyFolderKeepsSettingsAcrossRestarts) {
    TempDir dir;
    // The measured drive is a tmpfs whose free figure the test changes between the runs, so the second
    // run must rename the status file the first run published.
    ScopedMount measured(dir.Path() / "measured", "tmpfs", "size=8m");
    ScopedMount work(dir.Path() / "work", "tmpfs", "size=1m");
    REQUIRE_MOUNT(measured);
    REQUIRE_MOUNT(work);
    const fs::path folder = dir.Path() / "work";
    const fs::path status = dir.Path() / "status";
    fs::create_directory(status);
    const int port = FreePort();
    dir.Write("real/tarvellin.ini", "; shared settings\n[Setting]\nPath=\"" + status.string() +
                                        "/\"\nNetWork=1\nPort=" + std::to_string(port) +
                                        "\nDirectory=M\n[Drives]\nC=\"/\"\nM=\"" + (dir.Path() / "measured").string() +
                                        "\"\n");
    const ScopedMount file(dir.Path() / "real/tarvellin.ini", folder / "tarvellin.ini", ScopedMount::Bind::ReadWrite);
    REQUIRE_MOUNT(file);
    ASSERT_TRUE(work.Remount("tmpfs", MS_RDONLY, "size=1m"));

    for (const std::string expected : {"空容量8 MByte", "空容量7 MByte"}) {
        AgentProcess agent(folder.string());
        ASSERT_TRUE(WaitUntil([&] { return Renew(port); }));
        EXPECT_EQ(StatusFiles(status), std::vector<std::string>{expected});
        const std::string saved = dir.Read("real/tarvellin.ini");
        EXPECT_TRUE(CompleteSettings(saved)) << saved;
        EXPECT_EQ(IniProfile(saved).GetProfileString("Setting", "Filename"), expected);
        EXPECT_EQ(saved.rfind("; shared settings\n", 0), 0u);
        EXPECT_EQ(agent.Stop(), 0);
        std::ofstream(dir.Path() / "measured/filler", std::ios::binary) << std::string(1 << 20, 'x');
    }
}

TEST(Faults, CommentInAnotherEncodingLeavesTheAgentsOwnSettingsWhole) {
    TempDir dir;
    ScopedMount measured(dir.Path() / "measured", "tmpfs", "size=8m");
    REQUIRE_MOUNT(measured);
    const fs::path status = dir.Path() / "状態";
    fs::create_directory(status);
    const int port = FreePort();
    const std::string comment = "; caf\xE9 (edited by hand)\n";
    dir.Write("tarvellin.ini",
              comment + "[Setting]\nPath=\"" + status.string() + "/\"\nNetWork=1\nPort=" + std::to_string(port) +
                  "\nDirectory=M\n[Drives]\nC=\"/\"\nM=\"" + (dir.Path() / "measured").string() + "\"\n");

    // The second run finds another figure and must rename the status file the first run published.
    for (const std::string expected : {"空容量8 MByte", "空容量7 MByte"}) {
        AgentProcess agent(dir.Path().string());
        ASSERT_TRUE(WaitUntil([&] { return Renew(port); }));
        EXPECT_EQ(StatusFiles(status), std::vector<std::string>{expected});
        const std::string saved = dir.Read("tarvellin.ini");
        EXPECT_EQ(saved.rfind(comment, 0), 0u);
        EXPECT_EQ(IniProfile(saved).GetProfileString("Setting", "Path"), "\"" + status.string() + "/\"");
        EXPECT_EQ(agent.Stop(), 0);
        std::ofstream(dir.Path() / "measured/filler", std::ios::binary) << std::string(1 << 20, 'x');
    }
}

TEST(Faults, KilledInTheMiddleOfRefreshesTheFilesStayWhole) {
    TempDir dir;
    // The measured drive is a tmpfs nobody writes to, so its free figure, and so the status-file name,
    // stays the same across the kills.
    ScopedMount measured(dir.Path() / "measured", "tmpfs", "size=8m");
    const std::string drive = measured.Mounted() ? (dir.Path() / "measured").string() : "/";
    const fs::path status = dir.Path() / "status";
    fs::create_directory(status);
    const int port = FreePort();
    const std::string prepared = "[Setting]\nPath=\"" + status.string() +
                                 "/\"\nNetWork=1\nPort=" + std::to_string(port) +
                                 "\nDirectory=M\n[Drives]\nC=\"/\"\nM=\"" + drive + "\"\n";
    dir.Write("tarvellin.ini", prepared);

    std::mt19937 random(7);
    std::uniform_int_distribution<int> lifetime(30, 250);
    for (int round = 0; round < 100; ++round) {
        AgentProcess agent(dir.Path().string());
        std::atomic<bool> stop{false};
        std::thread client([&] {
            while (!stop) {
                HttpExchange(port, "GET /renew HTTP/1.1\r\n\r\n", 1s);
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(lifetime(random)));
        agent.Stop(SIGKILL);
        stop = true;
        client.join();

        const std::string text = dir.Read("tarvellin.ini");
        // Either the file as prepared (no save finished yet) or a whole save, never a part of one.
        ASSERT_TRUE(text == prepared || CompleteSettings(text)) << "round " << round << ":\n" << text;
        ASSERT_LE(StatusFiles(status).size(), 1u) << "round " << round;
    }
    EXPECT_EQ(StatusFiles(status).size(), 1u);
    // A save cut short leaves no half-written temporary file behind (at most one caught between link and rename).
    int temporaries = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        temporaries += entry.path().filename().string().rfind(".tarvellin.ini.", 0) == 0 ? 1 : 0;
    }
    EXPECT_LE(temporaries, 1);
}

TEST(Faults, DriveThatGoesAwayBetweenCyclesPublishesNoMoreAndIsDropped) {
    TempDir dir;
    ScopedMount volume(dir.Path() / "usb", "tmpfs", "size=4m");
    REQUIRE_MOUNT(volume);
    const int port = FreePort();
    fs::create_directory(dir.Path() / "status");
    dir.Write("tarvellin.ini", "[Setting]\nPath=\"" + dir.Folder() + "\"\nNetWork=1\nPort=" + std::to_string(port) +
                                   "\nDirectory=C\nOtherDrive=1\nDirectory2=UC\nPath2=\"" +
                                   (dir.Path() / "status").string() + "/\"\n[Drives]\nC=\"/\"\nU=\"" +
                                   (dir.Path() / "usb").string() + "\"\n");
    AgentProcess agent(dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return Renew(port); }));
    EXPECT_EQ(StatusFiles(dir.Path() / "status"), std::vector<std::string>{"空容量4 MByte"});

    volume.Unmount();
    fs::remove(dir.Path() / "usb");
    ASSERT_TRUE(Renew(port));
    EXPECT_TRUE(agent.Running());
    const IniProfile saved(dir.Read("tarvellin.ini"));
    EXPECT_EQ(saved.GetProfileString("Setting", "Directory2"), "C"); // U is gone; C moved to slot 1
    EXPECT_EQ(agent.Stop(), 0);
}

TEST(Faults, PortTakenByAnotherProgramLeavesTheRestWorking) {
    TempDir dir;
    const int blocker = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(blocker, 1), 0);
    socklen_t length = sizeof address;
    getsockname(blocker, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);

    dir.Write("tarvellin.ini", Settings(port, dir.Folder(), "Auto=1\nTime=1\n"));
    AgentProcess agent(dir.Path().string());
    // The automatic refresh of the first tick still publishes and saves.
    EXPECT_TRUE(WaitUntil([&] { return StatusFiles(dir.Path()).size() == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return CompleteSettings(dir.Read("tarvellin.ini")); }));
    EXPECT_TRUE(agent.Running());
    const std::string err = agent.Diagnostics();
    EXPECT_NE(err.find(std::to_string(port)), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(agent.Stop(), 0);
    close(blocker);
}

} // namespace
