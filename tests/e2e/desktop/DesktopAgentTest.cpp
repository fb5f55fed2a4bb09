// The desktop program on a private X display with a tray host: what the tray shows, what the mouse opens,
// how the menu ends it, and the warning box. Screenshots are kept in the build folder's artifacts/desktop.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <regex>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "AgentProcess.h"
#include "DesktopSession.h"
#include "TempDir.h"

namespace {

using namespace std::chrono_literals;

const std::string kSettingsTitle = "^tarvellin Ver2.10$";
const std::string kWarningTitle = "^残容量警告！！$";

std::string Artifact(const std::string& name) {
    std::filesystem::create_directories(TARVELLIN_ARTIFACTS);
    return std::string(TARVELLIN_ARTIFACTS) + "/" + name;
}

ino_t InodeOf(const std::filesystem::path& path) {
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Share of the magenta area in the disk's coloured area of a picture (blue and magenta pixels counted).
double MagentaShare(const DesktopSession& desktop, const std::string& png) {
    const std::optional<std::string> histogram = desktop.Run("convert '" + png + "' -format %c histogram:info:-");
    if (!histogram) {
        return -1;
    }
    const std::regex line(R"re(^\s*(\d+):\s*\(\s*(\d+),\s*(\d+),\s*(\d+))re");
    double magenta = 0;
    double blue = 0;
    std::istringstream lines(*histogram);
    std::string text;
    while (std::getline(lines, text)) {
        std::smatch m;
        if (!std::regex_search(text, m, line)) {
            continue;
        }
        const double count = std::stod(m[1]);
        const int r = std::stoi(m[2]);
        const int g = std::stoi(m[3]);
        const int b = std::stoi(m[4]);
        if (g < 60 && b > 200 && r > 200) {
            magenta += count;
        } else if (g < 60 && b > 200 && r < 60) {
            blue += count;
        }
    }
    return magenta + blue > 0 ? magenta / (magenta + blue) : -1;
}

// The level whose picture has the magenta share nearest to the one measured: magenta fills the disk from
// the bottom up to 0.92 x level / 7 of its height.
int LevelOfShare(double share) {
    int best = 0;
    double bestDistance = 2;
    for (int level = 0; level < 8; ++level) {
        const double h = 2 * 0.92 * level / 7; // segment height on a disk of radius 1
        const double area = std::acos(1 - h) - (1 - h) * std::sqrt(std::max(0.0, 2 * h - h * h));
        const double distance = std::abs(area / std::numbers::pi - share);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = level;
        }
    }
    return best;
}

class DesktopAgentTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DesktopToolsInstalled()) {
            GTEST_SKIP() << "Xvfb, trayer, xdotool, x11-utils or imagemagick missing";
        }
        std::filesystem::create_directories(m_dir.Path() / "status");
    }

    // Settings with an automatic refresh on the first tick, the main drive C at folder c of the temporary folder.
    void WriteSettings(const std::string& extra = {}) {
        std::filesystem::create_directories(m_dir.Path() / "c");
        const std::string root = m_dir.Path().string();
        m_dir.Write("tarvellin.ini", "[Drives]\nC=\"" + root +
                                         "/c\"\n[Setting]\nAuto=1\nTime=30\nPort=" + std::to_string(FreePort()) +
                                         "\nDirectory=C\nPath=\"" + root + "/status/\"\n" + extra);
    }

    std::unique_ptr<AgentProcess> StartAgent(const DesktopSession& desktop) {
        return std::make_unique<AgentProcess>(
            m_dir.Path().string(), std::map<std::string, std::string>{{"DISPLAY", desktop.Display()},
                                                                      {"XDG_RUNTIME_DIR", desktop.RuntimeDir()}});
    }

    std::optional<std::pair<int, int>> WaitForIcon(const DesktopSession& desktop,
                                                   std::chrono::milliseconds timeout = 15s) {
        std::optional<std::pair<int, int>> centre;
        WaitUntil([&] { return (centre = desktop.IconCentre()).has_value(); }, timeout);
        return centre;
    }

    // The agent beside a fake service (mode and log file: see SessionBusFake.cpp) on a private session bus, in a
    // process group of its own so that the bus, the fake and the agent all end with it; their output goes to the
    // file "session-output".
    pid_t StartOnSessionBus(const DesktopSession& desktop, const char* fakeMode, const std::string& log) {
        const std::string output = m_dir.Folder() + "session-output";
        const pid_t session = ::fork();
        if (session == 0) {
            ::setsid();
            if (::chdir(m_dir.Path().c_str()) != 0) {
                ::_exit(126);
            }
            ::setenv("DISPLAY", desktop.Display().c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", desktop.RuntimeDir().c_str(), 1);
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::execlp("dbus-run-session", "dbus-run-session", "--", TARVELLIN_BUS_FAKE, fakeMode, log.c_str(),
                     TARVELLIN_BINARY, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return session;
    }

    static void StopSession(pid_t session) {
        ::kill(-session, SIGTERM);
        int status = 0;
        if (!WaitUntil([&] { return ::waitpid(session, &status, WNOHANG) == session; }, 10s)) {
            ::kill(-session, SIGKILL);
            ::waitpid(session, &status, 0);
        }
    }

    bool WaitForSave() {
        return WaitUntil([&] { return m_dir.Read("tarvellin.ini").find("\nFilename=") != std::string::npos; }, 15s);
    }

    TempDir m_dir;
};

TEST_F(DesktopAgentTest, TrayPictureMatchesADriveOfKnownSize) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    std::filesystem::create_directories(m_dir.Path() / "c");
    const std::string drive = (m_dir.Path() / "c").string();
    if (::mount("tarvellin-test", drive.c_str(), "tmpfs", 0, "size=100m") != 0) {
        GTEST_SKIP() << "tmpfs could not be mounted";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{drive};
    {
        // 100 MB of which 65 MB are used: 35 % free, level 4.
        std::ofstream fill(drive + "/fill", std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 65; ++i) {
            fill << block;
        }
    }
    WriteSettings();
    DesktopSession desktop;
    ASSERT_FALSE(desktop.Display().empty());
    auto agent = StartAgent(desktop);
    const auto centre = WaitForIcon(desktop);
    ASSERT_TRUE(centre) << agent->Stderr();
    ASSERT_TRUE(WaitForSave());
    std::this_thread::sleep_for(300ms);

    const std::string tray = Artifact("tray-level4.png");
    ASSERT_TRUE(desktop.Screenshot(tray, centre->first - 11, centre->second - 11, 22, 22));
    EXPECT_EQ(LevelOfShare(MagentaShare(desktop, tray)), 4) << MagentaShare(desktop, tray);
    EXPECT_NE(m_dir.Read("tarvellin.ini").find("\nFilename=空容量35 MByte"), std::string::npos);

    // The tooltip (kept for the eye; its text is checked by the tray's widget test).
    desktop.Run("xdotool mousemove " + std::to_string(centre->first) + " " + std::to_string(centre->second));
    std::this_thread::sleep_for(1500ms);
    desktop.Screenshot(Artifact("tooltip.png"), 700, 0, 324, 90);
    EXPECT_EQ(agent->Stop(SIGTERM), 0);
}

TEST_F(DesktopAgentTest, DoubleClickOpensOneSettingsDialogAndMenuExitClosesItSavingNothing) {
    WriteSettings();
    DesktopSession desktop;
    ASSERT_FALSE(desktop.Display().empty());
    auto agent = StartAgent(desktop);
    const auto centre = WaitForIcon(desktop);
    ASSERT_TRUE(centre) << agent->Stderr();
    ASSERT_TRUE(WaitForSave());
    desktop.Screenshot(Artifact("tray.png"), centre->first - 40, 0, 60, 40);
    const std::string saved = m_dir.Read("tarvellin.ini");
    const ino_t inode = InodeOf(m_dir.Path() / "tarvellin.ini");
    const std::string at = std::to_string(centre->first) + " " + std::to_string(centre->second);

    // A single click does nothing; a double click opens the dialog; another one opens no second dialog.
    desktop.Run("xdotool mousemove " + at + " click 1");
    std::this_thread::sleep_for(800ms);
    EXPECT_EQ(desktop.CountWindows(kSettingsTitle), 0);
    desktop.Run("xdotool mousemove " + at + " click --repeat 2 --delay 60 1");
    ASSERT_TRUE(WaitUntil([&] { return desktop.CountWindows(kSettingsTitle) == 1; }, 10s));
    desktop.Screenshot(Artifact("settings.png"), 0, 0, 1024, 768);
    desktop.Run("xdotool mousemove " + at + " click --repeat 2 --delay 60 1");
    std::this_thread::sleep_for(800ms);
    EXPECT_EQ(desktop.CountWindows(kSettingsTitle), 1);

    // The menu's exit closes the dialog as by OK and ends the agent; nothing is saved on the way.
    desktop.Run("xdotool mousemove " + at + " click 3");
    std::this_thread::sleep_for(700ms);
    desktop.Screenshot(Artifact("menu.png"), centre->first - 220, 0, 240, 120);
    desktop.Run("xdotool key c");
    EXPECT_EQ(agent->Wait(10s), 0) << agent->Stderr();
    EXPECT_EQ(m_dir.Read("tarvellin.ini"), saved);
    EXPECT_EQ(InodeOf(m_dir.Path() / "tarvellin.ini"), inode);
    EXPECT_FALSE(desktop.IconCentre()) << "the icon outlived the agent";
}

TEST_F(DesktopAgentTest, MenuExitClosesTheSettingsAndNetworkDialogsTogether) {
    WriteSettings("NetWork=1\n");
    DesktopSession desktop;
    ASSERT_FALSE(desktop.Display().empty());
    auto agent = StartAgent(desktop);
    const auto centre = WaitForIcon(desktop);
    ASSERT_TRUE(centre) << agent->Stderr();
    ASSERT_TRUE(WaitForSave());
    const std::string saved = m_dir.Read("tarvellin.ini");
    const std::string at = std::to_string(centre->first) + " " + std::to_string(centre->second);

    desktop.Run("xdotool mousemove " + at + " click --repeat 2 --delay 60 1");
    ASSERT_TRUE(WaitUntil([&] { return desktop.CountWindows(kSettingsTitle) == 1; }, 10s));
    // The button "詳細" sits at the lower left of the settings dialog.
    const std::optional<std::string> geometry =
        desktop.Run("xdotool search --onlyvisible --name '" + kSettingsTitle + "' getwindowgeometry --shell");
    ASSERT_TRUE(geometry);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(*geometry, m, std::regex(R"(X=(\d+)\s+Y=(\d+)\s+WIDTH=(\d+)\s+HEIGHT=(\d+))")));
    const int x = std::stoi(m[1]) + std::stoi(m[3]) * 32 / 159;
    const int y = std::stoi(m[2]) + std::stoi(m[4]) * 313 / 336;
    desktop.Run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    ASSERT_TRUE(WaitUntil([&] { return desktop.CountWindows("^ネットワーク設定$") == 1; }, 10s));
    desktop.Screenshot(Artifact("network-dialog.png"), 0, 0, 1024, 768);

    desktop.Run("xdotool mousemove " + at + " click 3");
    std::this_thread::sleep_for(700ms);
    desktop.Run("xdotool key c");
    EXPECT_EQ(agent->Wait(10s), 0) << agent->Stderr();
    EXPECT_EQ(m_dir.Read("tarvellin.ini"), saved);
}

TEST_F(DesktopAgentTest, BelowThresholdRefreshShowsOneWarningBoxOverWhichTheSettingsDialogOpens) {
    WriteSettings("Keikoku=1\nNokori=1000000000\n");
    DesktopSession desktop;
    ASSERT_FALSE(desktop.Display().empty());
    auto agent = StartAgent(desktop);
    const auto centre = WaitForIcon(desktop);
    ASSERT_TRUE(centre) << agent->Stderr();
    ASSERT_TRUE(WaitUntil([&] { return desktop.CountWindows(kWarningTitle) == 1; }, 15s));
    std::this_thread::sleep_for(1500ms); // ticks go on under the box; none of them opens a second one
    EXPECT_EQ(desktop.CountWindows(kWarningTitle), 1);
    desktop.Screenshot(Artifact("warning.png"), 0, 0, 1024, 768);
    // The tray is not blocked by the box: a double click opens the settings dialog as at any other time.
    desktop.Run("xdotool mousemove " + std::to_string(centre->first) + " " + std::to_string(centre->second) +
                " click --repeat 2 --delay 60 1");
    EXPECT_TRUE(WaitUntil([&] { return desktop.CountWindows(kSettingsTitle) == 1; }, 10s));
    desktop.Screenshot(Artifact("settings-over-warning.png"), 0, 0, 1024, 768);
    desktop.Run("xdotool search --onlyvisible --name '" + kWarningTitle + "' windowfocus --sync key Return");
    EXPECT_TRUE(WaitUntil([&] { return desktop.CountWindows(kWarningTitle) == 0; }, 5s));
    EXPECT_EQ(agent->Stop(SIGTERM), 0);
    EXPECT_EQ(agent->Stderr().find("残り容量"), std::string::npos) << "the desktop shows the warning as a box";
}

TEST_F(DesktopAgentTest, IconAppearsWhenTheTrayComesLate) {
    WriteSettings();
    DesktopSession desktop(/*withTray=*/false);
    ASSERT_FALSE(desktop.Display().empty());
    auto agent = StartAgent(desktop);
    ASSERT_TRUE(WaitForSave()) << agent->Stderr(); // the agent works while it waits for the tray
    EXPECT_TRUE(agent->Running());
    // After 10 s without a tray the user is told why there is no icon, once.
    ASSERT_TRUE(WaitUntil([&] { return !agent->Stderr().empty(); }, 15s));
    EXPECT_TRUE(agent->Stderr().starts_with("tarvellin: no system tray after 10 s; the icon appears once there is one "
                                            "(GNOME needs the extension \"AppIndicator and KStatusNotifierItem "
                                            "Support\""))
        << agent->Stderr();
    ASSERT_TRUE(desktop.StartTray());
    EXPECT_TRUE(WaitForIcon(desktop, 10s)) << agent->Stderr();
    EXPECT_EQ(agent->Stop(SIGTERM), 0);
    const std::string err = agent->Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(DesktopAgentTest, HangupReloadsTheSettingsInTheTray) {
    WriteSettings();
    DesktopSession desktop;
    ASSERT_FALSE(desktop.Display().empty());
    auto agent = StartAgent(desktop);
    ASSERT_TRUE(WaitForIcon(desktop)) << agent->Stderr();
    ASSERT_EQ(::kill(agent->Pid(), SIGHUP), 0);
    EXPECT_TRUE(WaitUntil([&] { return agent->Stderr().find("settings reloaded from ") != std::string::npos; }, 5s));
    EXPECT_TRUE(agent->Running());
    EXPECT_EQ(agent->Stop(SIGTERM), 0);
}

// A tray that speaks StatusNotifierItem over D-Bus (KDE Plasma; GNOME with the AppIndicator extension) has no
// X tray window: the icon registers with the session bus's watcher instead.
TEST_F(DesktopAgentTest, IconRegistersWithAStatusNotifierWatcher) {
    if (std::system("command -v dbus-run-session >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "dbus-run-session is not installed (package dbus-daemon)";
    }
    WriteSettings();
    DesktopSession desktop(/*withTray=*/false);
    ASSERT_FALSE(desktop.Display().empty());
    const pid_t session = StartOnSessionBus(desktop, "watcher", m_dir.Folder() + "items");
    ASSERT_GT(session, 0);
    EXPECT_TRUE(WaitUntil([&] { return m_dir.Read("items").ends_with(" Id=tarvellin\n"); }, 20s))
        << m_dir.Read("items") << m_dir.Read("session-output");
    StopSession(session);
    EXPECT_EQ(m_dir.Read("session-output").find("no system tray"), std::string::npos);
}

// A drive below its limit at the start is told once through the desktop's notification server; clicking the
// notification opens the settings dialog.
TEST_F(DesktopAgentTest, LowDriveIsNotifiedOnceAndTheClickOpensTheSettings) {
    if (std::system("command -v dbus-run-session >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "dbus-run-session is not installed (package dbus-daemon)";
    }
    WriteSettings("[Limits]\nC=100%\n");
    DesktopSession desktop;
    ASSERT_FALSE(desktop.Display().empty());
    const pid_t session = StartOnSessionBus(desktop, "notifications-click", m_dir.Folder() + "notified");
    ASSERT_GT(session, 0);
    EXPECT_TRUE(WaitUntil([&] { return desktop.CountWindows(kSettingsTitle) == 1; }, 20s))
        << m_dir.Read("notified") << m_dir.Read("session-output");
    desktop.Screenshot(Artifact("notification-click.png"), 0, 0, 1024, 768);
    std::this_thread::sleep_for(1s); // a second notification would have come by now
    const std::string notified = m_dir.Read("notified");
    EXPECT_TRUE(std::regex_match(notified, std::regex("tarvellin\\|0\\|tarvellin\\|C: low on free space: [^|\n]+\\|"
                                                      "default,設定\\|urgency=uchar:1\n")))
        << notified;
    StopSession(session);
    EXPECT_EQ(m_dir.Read("session-output").find("low on free space"), std::string::npos) << "told on stderr too";
}

} // namespace
