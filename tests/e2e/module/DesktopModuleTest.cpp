// The program without a usable display never maps Qt Widgets or Gui unless it had to look for a display, and
// runs headless whenever the desktop module is missing or finds no display.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "AgentProcess.h"
#include "TempDir.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kModuleFile = "libtarvellin-desktop.so";
constexpr const char* kNoSuchDisplay = ":97"; // no X server listens there in the test sessions

std::string MapsOf(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/maps");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A working folder whose settings refresh at once and write status files into status/.
void PrepareSettings(const TempDir& dir) {
    fs::create_directories(dir.Path() / "status");
    dir.Write("tarvellin.ini", "[Setting]\nAuto=1\nTime=30\nPort=0\nPath=\"" + dir.Folder() + "/status/\"\n");
}

struct ModeCase {
    const char* name;
    std::map<std::string, std::string> env;
    bool moduleBeside;    // the desktop module sits next to the program
    bool expectsModule;   // the module (and with it Qt Gui) is mapped
    bool expectsLoadLine; // one stderr line says the module could not be loaded
};

class DesktopModuleTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(DesktopModuleTest, RunsHeadlessAndMapsGuiOnlyWhenADisplayWasNamed) {
    const ModeCase& param = GetParam();
    TempDir work;
    PrepareSettings(work);
    std::string binary = TARVELLIN_BINARY;
    TempDir programDir;
    if (!param.moduleBeside) {
        // A lone copy of the program: the module is found neither beside it nor (in a test session) installed.
        const fs::path copy = programDir.Path() / "tarvellin";
        fs::copy_file(binary, copy);
        binary = copy.string();
        if (fs::exists(fs::path(TARVELLIN_INSTALLED_MODULE_DIR) / kModuleFile)) {
            GTEST_SKIP() << "an installed desktop module would be loaded";
        }
    }

    AgentProcess agent(work.Folder(), param.env, binary);
    ASSERT_TRUE(WaitUntil([&] { return !work.List("status").empty(); })) << agent.Stderr();
    ASSERT_TRUE(agent.Running());

    const std::string maps = MapsOf(agent.Pid());
    EXPECT_EQ(maps.find(kModuleFile) != std::string::npos, param.expectsModule);
    EXPECT_EQ(maps.find("libQt6Gui") != std::string::npos, param.expectsModule);
    if (!param.expectsModule) {
        EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos);
    }

    EXPECT_EQ(agent.Stop(SIGTERM), 0);
    const std::string err = agent.Diagnostics();
    EXPECT_EQ(err.find("desktop module not loaded") != std::string::npos, param.expectsLoadLine) << err;
    if (param.expectsLoadLine) {
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line only: " << err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DesktopModuleTest,
    ::testing::Values(
        ModeCase{"NoDisplay", {}, true, false, false},
        ModeCase{
            "OffscreenPlatform", {{"DISPLAY", kNoSuchDisplay}, {"QT_QPA_PLATFORM", "offscreen"}}, true, false, false},
        ModeCase{"MinimalPlatform", {{"DISPLAY", kNoSuchDisplay}, {"QT_QPA_PLATFORM", "minimal"}}, true, false, false},
        ModeCase{"DisplayThatDoesNotConnect", {{"DISPLAY", kNoSuchDisplay}}, true, true, false},
        ModeCase{"ModuleMissing", {{"DISPLAY", kNoSuchDisplay}}, false, false, true}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

} // namespace
