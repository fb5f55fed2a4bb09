#include "agent/StartLine.h"

#include "capacity/Monitor.h"

#include <gtest/gtest.h>

#include "FakePlatform.h"

namespace {

TEST(StartLineTest, SaysWhatTheHeadlessAgentDoes) {
    struct Case {
        const char* name;
        MonitorSettings settings;
        int listeningPort;
        std::string expected;
    };
    const std::string head =
        "started headless: settings /home/u/tarvellin.ini; main drive C (/): 空容量420 MByte; status file ";
    auto settings = [](auto change) {
        MonitorSettings s;
        s.Directory = "C";
        change(s);
        return s;
    };
    const Case cases[] = {
        {"defaults", settings([](MonitorSettings&) {}), 8085,
         head + "/home/u/空容量420 MByte written at each refresh, no automatic refresh (Auto=0); port 8085 answers "
                "every request with 404 (NetWork=0; NetWork=1 serves GET /renew)"},
        {"serving, automatic refresh", settings([](MonitorSettings& s) {
             s.NetWork = 1;
             s.Auto = 1;
             s.Time = 5;
             s.Path = "/srv/share/";
         }),
         8085,
         head + "/srv/share/空容量420 MByte written at each refresh, automatic refresh every 5 min (Auto=1); port "
                "8085 answers GET /renew (NetWork=1)"},
        {"password, relative folder without separator", settings([](MonitorSettings& s) {
             s.NetWork = 1;
             s.Pass = "pw";
             s.Path = "status";
         }),
         8085,
         head + "/home/u/status空容量420 MByte written at each refresh, no automatic refresh (Auto=0); port 8085 "
                "answers GET /renew/<Pass> (NetWork=1)"},
        {"port outside the range", settings([](MonitorSettings& s) { s.Port = 70000; }), 0,
         head + "/home/u/空容量420 MByte written at each refresh, no automatic refresh (Auto=0); no listener: "
                "Port=70000 is outside 0..65535"},
        {"port taken", settings([](MonitorSettings&) {}), 0,
         head + "/home/u/空容量420 MByte written at each refresh, no automatic refresh (Auto=0); no listener: port "
                "8085 could not be opened (see above)"},
        {"any free port", settings([](MonitorSettings& s) { s.Port = 0; }), 41234,
         head + "/home/u/空容量420 MByte written at each refresh, no automatic refresh (Auto=0); port 41234 (Port=0: "
                "any free port) answers every request with 404 (NetWork=0; NetWork=1 serves GET /renew)"},
    };
    for (const Case& c : cases) {
        FakePlatform platform;
        platform.AddDrive('C', 1000, 420).folder = "/";
        Monitor monitor(platform, "/home/u/tarvellin.ini");
        monitor.Settings() = c.settings;
        monitor.MeasureMainDrive();
        monitor.FormatTexts();
        EXPECT_EQ(StartLine(monitor, c.listeningPort), c.expected) << c.name;
    }
}

} // namespace
