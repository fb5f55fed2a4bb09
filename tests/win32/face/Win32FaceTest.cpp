#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StartOptions.h"
#include "TrayIconSize.h"

namespace {

using Action = StartOptions::Action;

TEST(TrayIconSideTest, FollowsTheSystemMetricAndScalesSixteenPixelsWithoutIt) {
    struct Case {
        int dpi;
        int metric;
        int side;
    };
    const Case cases[] = {
        {96, 16, 16},  {120, 20, 20}, {144, 24, 24}, {192, 32, 32}, // the metric at 100 to 200 %
        {168, 28, 28}, {144, 0, 24},  {120, 0, 20},  {192, 0, 32},  // no metric: 16 px scaled from 96 DPI
        {132, 0, 22},  {0, 0, 16},    {-5, 0, 16},   {96, 8, 16},   // rounded; never below 16
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrayIconSide(c.dpi, c.metric), c.side) << c.dpi << " dpi, metric " << c.metric;
    }
}

TEST(StartOptionsTest, ReadsFolderAndServiceVerbsAndRefusesTheRest) {
    struct Case {
        std::vector<std::wstring> arguments;
        Action action;
        std::wstring folder;
        std::string refusal;
    };
    const Case cases[] = {
        {{}, Action::Tray, L"", ""},
        {{L"--folder", L"%APPDATA%\\tarvellin"}, Action::Tray, L"%APPDATA%\\tarvellin", ""},
        {{L"--folder=D:\\x y"}, Action::Tray, L"D:\\x y", ""},
        {{L"--service", L"install", L"--folder", L"C:\\srv"}, Action::ServiceInstall, L"C:\\srv", ""},
        {{L"--folder", L"C:\\srv", L"--service", L"run"}, Action::ServiceRun, L"C:\\srv", ""},
        {{L"--service", L"uninstall"}, Action::ServiceUninstall, L"", ""},
        {{L"/?"}, Action::Help, L"", ""},
        {{L"--service", L"install", L"--help"}, Action::Help, L"", ""},
        {{L"--folder"}, Action::Refused, L"", "the option --folder needs a value"},
        {{L"--folder", L""}, Action::Refused, L"", "the option --folder needs a value"},
        {{L"--service", L"start"}, Action::Refused, L"", "unknown --service 'start' (install, uninstall or run)"},
        {{L"--földer"},
         Action::Refused,
         L"",
         "unknown argument '--f?lder' (tarvellin.exe takes --folder DIR, --service install|uninstall or --help)"},
    };
    for (const Case& c : cases) {
        const StartOptions options = ParseStartOptions(c.arguments);
        EXPECT_EQ(options.action, c.action) << c.arguments.size();
        EXPECT_EQ(options.refusal, c.refusal);
        if (c.action != Action::Help) {
            EXPECT_EQ(options.folder, c.folder);
        }
    }
}

} // namespace
