#include "core/agent/StartLine.h"

#include "core/capacity/Monitor.h"

#include <gtest/gtest.h>

#include "FakePlatform.h"

namespace {

TEST(StartLineTest, SaysWhatTheHeadlessAgentDoes) {
    const std::string head = "started headless: settings /home/u/tarvellin.ini; main drive C (/): 空容量420 MByte; ";
    const std::string idle = "written at each refresh, no automatic refresh (Auto=0); ";
    const struct {
        std::string path;
        int autoRefresh, time, network;
        std::string pass;
        int port, listeningPort;
        std::string address;
        int metrics;
        std::string expected;
    } cases[] = {
        {"", 0, 0, 0, "", 8085, 8085, "", 0,
         "status file /home/u/空容量420 MByte " + idle +
             "port 8085 answers every request with 404 (NetWork=0; NetWork=1 serves GET /renew)"},
        {"/srv/share/", 1, 5, 1, "", 8085, 8085, "", 0,
         "status file /srv/share/空容量420 MByte written at each refresh, automatic refresh every 5 min (Auto=1); "
         "port 8085 answers GET /renew (NetWork=1)"},
        {"status", 0, 0, 1, "pw", 8085, 8085, "", 0,
         "status file /home/u/status空容量420 MByte " + idle + "port 8085 answers GET /renew/<Pass> (NetWork=1)"},
        {"", 0, 0, 0, "", 70000, 0, "", 0,
         "status file /home/u/空容量420 MByte " + idle + "no listener: Port=70000 is outside 0..65535"},
        {"", 0, 0, 0, "", 8085, 0, "", 0,
         "status file /home/u/空容量420 MByte " + idle + "no listener: port 8085 could not be opened (see above)"},
        {"", 0, 0, 0, "", 0, 41234, "", 0,
         "status file /home/u/空容量420 MByte " + idle +
             "port 41234 (Port=0: any free port) answers every request with 404 (NetWork=0; NetWork=1 serves GET "
             "/renew)"},
        {"", 0, 0, 1, "", 8085, 8085, "127.0.0.1", 1,
         "status file /home/u/空容量420 MByte " + idle +
             "port 8085 on 127.0.0.1 answers GET /renew (NetWork=1) and GET /metrics and /status.json (Metrics=1)"},
        {"", 0, 0, 0, "", 8085, 8085, "", 1,
         "status file /home/u/空容量420 MByte " + idle +
             "port 8085 answers GET /metrics and /status.json (Metrics=1), any other request with 404 (NetWork=0; "
             "NetWork=1 serves GET /renew)"},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.AddDrive('C', 1000, 420).folder = "/";
        Monitor monitor(platform, "/home/u/tarvellin.ini");
        MonitorSettings& settings = monitor.Settings();
        settings.Path = c.path;
        settings.Auto = c.autoRefresh;
        settings.Time = c.time;
        settings.NetWork = c.network;
        settings.Pass = c.pass;
        settings.Port = c.port;
        settings.HttpAddress = c.address;
        settings.HttpMetrics = c.metrics;
        monitor.MeasureMainDrive(); // an empty Directory takes the current drive, C
        monitor.FormatTexts();
        EXPECT_EQ(StartLine(monitor, c.listeningPort), head + c.expected);
    }
}

} // namespace
