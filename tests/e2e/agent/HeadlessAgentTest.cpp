// The headless program started for real in a temporary folder: what it publishes, what it saves, how it
// stops, and that bad settings files and missing displays do not bring it down.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <vector>

#include "AgentProcess.h"
#include "TempDir.h"

namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kSaveOrder = {
    "Path",       "Filename",  "Auto",      "Time",      "GByte",      "Directory", "NetWork",
    "Port",       "Keikoku",   "Nokori",    "Pass",      "NetKoushin", "EnbChange", "OtherDrive",
    "Directory2", "Path2",     "Path3",     "Path4",     "Path5",      "Path6",     "Path7",
    "Path8",      "Path9",     "Path10",    "Filename2", "Filename3",  "Filename4", "Filename5",
    "Filename6",  "Filename7", "Filename8", "Filename9", "Filename10"};

// Keys of one section of an ini text, in file order.
std::vector<std::string> KeysOf(const std::string& ini, const std::string& section) {
    std::vector<std::string> keys;
    std::istringstream lines(ini);
    std::string line;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() == '[') {
            inside = line == "[" + section + "]";
            continue;
        }
        const auto equals = line.find('=');
        if (inside && equals != std::string::npos) {
            keys.push_back(line.substr(0, equals));
        }
    }
    return keys;
}

// Value of a key in the section "Setting"; nullopt-like empty marker when absent.
std::string ValueOf(const std::string& ini, const std::string& key) {
    const std::string head = "\n" + key + "=";
    const auto at = ("\n" + ini).find(head);
    if (at == std::string::npos) {
        return "<absent>";
    }
    const auto start = at + head.size() - 1;
    return ini.substr(start, ini.find_first_of("\r\n", start) - start);
}

// Free MB of the filesystem that holds a folder, as the agent computes it.
long long FreeMB(const std::filesystem::path& folder) {
    struct statvfs fs = {};
    if (statvfs(folder.c_str(), &fs) != 0) {
        return -1;
    }
    return static_cast<long long>((static_cast<unsigned long long>(fs.f_bfree) * fs.f_frsize) >> 20);
}

// The MB figure of a free text "空容量<n> MByte"; -1 when the name is not such a text.
long long FigureOf(const std::string& freeText) {
    const std::string head = "空容量";
    const std::string tail = " MByte";
    if (freeText.rfind(head, 0) != 0 || freeText.size() <= head.size() + tail.size() ||
        freeText.compare(freeText.size() - tail.size(), tail.size(), tail) != 0) {
        return -1;
    }
    return std::stoll(freeText.substr(head.size(), freeText.size() - head.size() - tail.size()));
}

ino_t InodeOf(const std::filesystem::path& path) {
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class HeadlessAgentTest : public ::testing::Test {
protected:
    // A settings file with automatic refresh on the first tick and a drive table inside the temporary folder.
    std::string Settings(const std::string& extra = {}) const {
        const std::string root = m_dir.Path().string();
        std::filesystem::create_directories(m_dir.Path() / "c");
        std::filesystem::create_directories(m_dir.Path() / "d");
        std::filesystem::create_directories(m_dir.Path() / "e");
        std::filesystem::create_directories(m_dir.Path() / "status");
        std::filesystem::create_directories(m_dir.Path() / "status-d");
        return "[Drives]\nC=\"" + root + "/c\"\nD=\"" + root + "/d\"\nE=\"" + root + "/e\"\n" +
               "[Setting]\nAuto=1\nTime=30\nPort=" + std::to_string(FreePort()) + "\nDirectory=C\nPath=\"" + root +
               "/status/\"\n" + extra;
    }

    bool WaitForSave() const {
        return WaitUntil([&] { return ValueOf(m_dir.Read("tarvellin.ini"), "Filename") != "<absent>"; }, 15s);
    }

    TempDir m_dir;
};

TEST_F(HeadlessAgentTest, FirstTickPublishesStatusFilesAndSavesAllKeysInOrder) {
    const std::string root = m_dir.Path().string();
    m_dir.Write("tarvellin.ini", Settings("OtherDrive=1\nDirectory2=DZE\nPath2=\"" + root + "/status-d/\"\n"));
    AgentProcess agent(root);
    ASSERT_TRUE(WaitForSave()) << agent.Stderr();
    ASSERT_TRUE(WaitUntil([&] { return m_dir.List("e").size() == 1; }, 5s));

    const std::string ini = m_dir.Read("tarvellin.ini");
    // Keys already in the file keep their places; the others follow in the order of the save.
    const std::vector<std::string> given = {"Auto", "Time",       "Port",       "Directory",
                                            "Path", "OtherDrive", "Directory2", "Path2"};
    std::vector<std::string> expected = given;
    for (const std::string& key : kSaveOrder) {
        if (std::find(given.begin(), given.end(), key) == given.end()) {
            expected.push_back(key);
        }
    }
    EXPECT_EQ(KeysOf(ini, "Setting"), expected);
    EXPECT_EQ(KeysOf(ini, "Drives"), (std::vector<std::string>{"C", "D", "E"}));

    // The letter without a drive is dropped; D publishes into its own folder, E into its drive's folder.
    EXPECT_EQ(ValueOf(ini, "Directory2"), "DE");
    EXPECT_EQ(ValueOf(ini, "Path"), "\"" + root + "/status/\"");
    EXPECT_EQ(ValueOf(ini, "Path3"), "\"" + root + "/e/\"");

    const std::vector<std::string> main = m_dir.List("status");
    ASSERT_EQ(main.size(), 1u);
    EXPECT_EQ(ValueOf(ini, "Filename"), main[0]);
    EXPECT_NEAR(FigureOf(main[0]), FreeMB(m_dir.Path()), 64) << main[0];
    const std::vector<std::string> driveD = m_dir.List("status-d");
    ASSERT_EQ(driveD.size(), 1u);
    EXPECT_EQ(ValueOf(ini, "Filename2"), driveD[0]);
    EXPECT_EQ(ValueOf(ini, "Filename3"), m_dir.List("e")[0]);
    EXPECT_EQ(agent.Stop(SIGTERM), 0);
}

TEST_F(HeadlessAgentTest, StopSignalsEndWithCodeZeroAndSaveNothing) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        m_dir.Write("tarvellin.ini", Settings());
        AgentProcess agent(m_dir.Path().string());
        ASSERT_TRUE(WaitForSave()) << agent.Stderr();
        std::this_thread::sleep_for(300ms); // ticks go on; none of them saves before the next due refresh
        const std::string saved = m_dir.Read("tarvellin.ini");
        const ino_t inode = InodeOf(m_dir.Path() / "tarvellin.ini");

        EXPECT_EQ(agent.Stop(signal), 0);
        EXPECT_EQ(m_dir.Read("tarvellin.ini"), saved);
        EXPECT_EQ(InodeOf(m_dir.Path() / "tarvellin.ini"), inode) << "the file was replaced on the way out";
        EXPECT_EQ(agent.Diagnostics(), "");
    }
}

TEST_F(HeadlessAgentTest, WarningGoesToStderrAsOneLine) {
    m_dir.Write("tarvellin.ini", Settings("Keikoku=1\nNokori=2000000000\n"));
    AgentProcess agent(m_dir.Path().string());
    ASSERT_TRUE(WaitUntil([&] { return agent.Diagnostics().find('\n') != std::string::npos; }, 15s));
    EXPECT_EQ(agent.Diagnostics(), "残り容量が2000000000MBを切りました HDDを整理してください\n");
    EXPECT_EQ(agent.Stop(SIGTERM), 0);
}

TEST_F(HeadlessAgentTest, UnusableDisplaysGiveHeadlessModeWithoutNoise) {
#ifndef TARVELLIN_DESKTOP_MODULE_BUILT
    GTEST_SKIP() << "built without the desktop module, whose absence the program rightly reports";
#endif
    const std::vector<std::map<std::string, std::string>> environments = {
        {{"DISPLAY", ":93"}},
        {{"WAYLAND_DISPLAY", "tarvellin-no-such-wayland"}},
        {{"DISPLAY", ":93"}, {"QT_QPA_PLATFORM", "offscreen"}},
        {{"QT_QPA_PLATFORM", "xcb"}},
    };
    for (const auto& environment : environments) {
        SCOPED_TRACE(environment.begin()->first + "=" + environment.begin()->second);
        m_dir.Write("tarvellin.ini", Settings());
        AgentProcess agent(m_dir.Path().string(), environment);
        EXPECT_TRUE(WaitForSave()) << agent.Stderr();
        EXPECT_EQ(agent.Stop(SIGTERM), 0);
        EXPECT_EQ(agent.Diagnostics(), "");
        std::filesystem::remove(m_dir.Path() / "tarvellin.ini");
    }
}

TEST_F(HeadlessAgentTest, BadSettingsFilesNeitherCrashNorStopTheAgent) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary += static_cast<char>((i * 7919) & 0xFF);
    }
    const std::string huge(1 << 20, 'x');
    const struct {
        const char* name;
        std::string content;
        bool refreshes; // a readable [Setting] section with Auto=1 survives the garbage
    } cases[] = {
        {"binary", binary, false},
        {"binary then settings", binary + "\n" + Settings(), true},
        {"absurd integers", Settings("Time=99999999999999999999\nNokori=-99999999999999999999\nGByte=1x\n"), false},
        {"negative time", Settings("Time=-5\n"), false},
        {"megabyte line", Settings("Pass=" + huge + "\nDirectory2=" + huge + "\nOtherDrive=1\n"), true},
        {"invalid UTF-8", Settings("Pass=\xff\xfe\x80\nDirectory2=\xc3\n"), true},
        {"broken headers", Settings() + "[Setting\n=\n==\n[]\n[Setting]]\n", true},
        {"drive table nowhere", Settings("Directory=Q\n") + "[Drives]\nQ=\"/no/such/folder\"\nR=relative\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_dir.Path() / "status");
        m_dir.Write("tarvellin.ini", c.content);
        AgentProcess agent(m_dir.Path().string());
        if (c.refreshes) {
            EXPECT_TRUE(WaitForSave());
        } else {
            std::this_thread::sleep_for(700ms);
        }
        EXPECT_TRUE(agent.Running());
        EXPECT_EQ(agent.Stop(SIGTERM), 0);
        std::filesystem::remove(m_dir.Path() / "tarvellin.ini");
    }
}

} // namespace
