#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "TempDir.h"
#include "core/capacity/Monitor.h"
#include "core/net/Reply.h"
#include "core/net/Request.h"
#include "core/net/Scrape.h"

namespace {

TEST(Scrape, LabelValuesEscapeBackslashQuoteAndLineFeedAndKeepUtf8) {
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"D:\\", "D:\\\\"},
        {"/mnt/\"q\"/", "/mnt/\\\"q\\\"/"},
        {"a\nb", "a\\nb"},
        {"tab\tand\rstay", "tab\tand\rstay"},
        {"/srv/共有/状態", "/srv/共有/状態"},
        {"bad\xFF"
         "byte",
         "bad\xEF\xBF\xBD"
         "byte"},
        {"cut\xE7\x8A", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},           // a sequence cut short
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                 // overlong '/'
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // a surrogate
        {"\xF0\x9F\x92\xBE", "\xF0\x9F\x92\xBE"},                 // four bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeLabelValue(c.text), c.escaped) << c.text;
    }
}

TEST(Scrape, JsonStringsEscapeAsRfc8259AndKeepUtf8) {
    const struct {
        std::string text;
        std::string literal;
    } cases[] = {
        {"", "\"\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\state\\", "\"C:\\\\state\\\\\""},
        {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {std::string("\x01\x1F", 2), "\"\\u0001\\u001f\""},
        {std::string("nul\0end", 7), "\"nul\\u0000end\""},
        {"/ and \x7F stay", "\"/ and \x7F stay\""},
        {"空容量119000 MByte", "\"空容量119000 MByte\""},
        {"\xFF", "\"\xEF\xBF\xBD\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonString(c.text), c.literal) << c.text;
    }
}

TEST(Scrape, RequestNamesEndpointPasswordAndBearer) {
    using E = ScrapeEndpoint;
    const struct {
        std::string request;
        E endpoint;
        std::optional<std::string> path;
        std::optional<std::string> bearer;
    } cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", E::Metrics, {}, {}},
        {"GET /metrics", E::Metrics, {}, {}},
        {"GET /metrics/ HTTP/1.1\r\n", E::Metrics, {}, {}},
        {"GET /metrics/s3cret HTTP/1.1\r\n", E::Metrics, "s3cret", {}},
        {"GET /metrics?name[]=x HTTP/1.1\r\n", E::Metrics, {}, {}},
        {"GET /status.json/pw HTTP/1.1\r\n", E::StatusJson, "pw", {}},
        {"GET /metrics HTTP/1.1\r\nauthorization:  bearer  tok en \r\n\r\n", E::Metrics, {}, "tok en"},
        {"GET /metrics HTTP/1.1\r\nAuthorization: Basic dXNlcg==\r\n\r\n", E::Metrics, {}, {}},
        {"GET /metrics HTTP/1.1\r\n\r\nAuthorization: Bearer late\r\n", E::Metrics, {}, {}}, // in the body
        // One guess per header: only the first Authorization header counts.
        {"GET /metrics HTTP/1.1\r\nAuthorization: Bearer a\r\nAuthorization: Bearer b\r\n\r\n", E::Metrics, {}, "a"},
        {"GET /metrics HTTP/1.1\r\nAuthorization: Basic YQ==\r\nAuthorization: Bearer b\r\n\r\n", E::Metrics, {}, {}},
        {"GET /metricsx HTTP/1.1\r\n", E::None, {}, {}},
        {"GET /renew HTTP/1.1\r\n", E::None, {}, {}},
        {"get /metrics HTTP/1.1\r\n", E::None, {}, {}},
        {"POST /metrics HTTP/1.1\r\n", E::None, {}, {}},
    };
    for (const auto& c : cases) {
        const ScrapeRequest parsed = ParseScrapeRequest(c.request);
        EXPECT_EQ(parsed.endpoint, c.endpoint) << c.request;
        EXPECT_EQ(parsed.pathPassword, c.path) << c.request;
        EXPECT_EQ(parsed.bearerPassword, c.bearer) << c.request;
    }
}

class ScrapeTest : public ::testing::Test {
protected:
    ScrapeTest() {
        m_platform.unixTime = 1700000000;
        m_platform.AddDrive('C', 1000, 250).folder = "/";
        m_platform.AddDrive('D', 2000, 1000, DriveType::Remote).folder = "/mnt/\"q\"\\x/";
        m_platform.AddDrive('E', 3000, 3000, DriveType::Remote).folder = "/mnt/hung/";
        m_platform.stuckDrives = "E";
        m_monitor.LoadSettings();
        MonitorSettings& settings = m_monitor.Settings();
        settings.Directory = "C";
        settings.Path = m_dir.Folder();
        settings.Filename = "空容量250 MByte";
        settings.OtherDrive = 1;
        settings.Directory2 = "DFE"; // F does not exist
    }

    // The sample lines of an exposition, without comments.
    static std::vector<std::string> Samples(const std::string& text) {
        std::vector<std::string> samples;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            if (!line.starts_with("#")) {
                samples.push_back(line);
            }
        }
        return samples;
    }

    TempDir m_dir;
    FakePlatform m_platform;
    Monitor m_monitor{m_platform, m_dir.Folder() + "tarvellin.ini"};
};

TEST_F(ScrapeTest, MetricsHaveEveryWatchedDriveAndAHungOneOnlyAsNotUp) {
    const std::string text = MetricsText(TakeSnapshot(m_monitor));
    const std::string c = "{letter=\"C\",path=\"/\",role=\"main\"}";
    const std::string d = "{letter=\"D\",path=\"/mnt/\\\"q\\\"\\\\x/\",role=\"other\"}";
    const std::string e = "{letter=\"E\",path=\"/mnt/hung/\",role=\"other\"}";
    const std::vector<std::string> expected = {
        "tarvellin_drive_up" + c + " 1",
        "tarvellin_drive_up" + d + " 1",
        "tarvellin_drive_up" + e + " 0",
        "tarvellin_drive_total_bytes" + c + " 1048576000",
        "tarvellin_drive_total_bytes" + d + " 2097152000",
        "tarvellin_drive_free_bytes" + c + " 262144000",
        "tarvellin_drive_free_bytes" + d + " 1048576000",
        "tarvellin_drive_level" + c + " 3",
        "tarvellin_drive_level" + d + " 6",
        "tarvellin_refreshes_total{trigger=\"auto\"} 0",
        "tarvellin_refreshes_total{trigger=\"dialog\"} 0",
        "tarvellin_refreshes_total{trigger=\"network\"} 0",
        "tarvellin_build_info{version=\"" + std::string(AgentVersion()) + "\"} 1",
        "tarvellin_start_time_seconds 1700000000",
    };
    EXPECT_EQ(Samples(text), expected) << text;
    for (const char* family : {"tarvellin_drive_up gauge", "tarvellin_drive_free_bytes gauge",
                               "tarvellin_refreshes_total counter", "tarvellin_start_time_seconds gauge"}) {
        EXPECT_NE(text.find(std::string("# TYPE ") + family + "\n"), std::string::npos) << family;
    }
}

TEST_F(ScrapeTest, StatusJsonTellsAHungDriveFromOneThatAnswered) {
    m_platform.drives['C'].folder = "C:\\";
    m_monitor.Settings().Directory2 = "E";
    EXPECT_EQ(StatusJson(TakeSnapshot(m_monitor)),
              "{\"version\":\"" + std::string(AgentVersion()) +
                  "\",\"start_time\":1700000000,\"refreshes\":{\"auto\":0,\"dialog\":0,\"network\":0},\"drives\":["
                  "{\"letter\":\"C\",\"role\":\"main\",\"path\":\"C:\\\\\",\"type\":\"fixed\",\"type_text\":\"FIXED\","
                  "\"up\":true,\"answered_in_time\":true,\"total_bytes\":1048576000,\"free_bytes\":262144000,"
                  "\"free_percent\":25,\"level\":3,\"status_folder\":" +
                  JsonString(m_dir.Folder()) +
                  ",\"status_text\":\"空容量250 MByte\",\"published_time\":null},"
                  "{\"letter\":\"E\",\"role\":\"other\",\"path\":\"/mnt/hung/\",\"type\":\"remote\","
                  "\"type_text\":\"REMOTE\",\"up\":false,\"answered_in_time\":false,\"total_bytes\":null,"
                  "\"free_bytes\":null,\"free_percent\":null,\"level\":null,\"status_folder\":\"/mnt/hung/\","
                  "\"status_text\":\"\",\"published_time\":null}]}\n");
}

TEST_F(ScrapeTest, RefreshesAreCountedByTriggerAndStampThePublication) {
    m_platform.stuckDrives.clear();
    m_monitor.Settings().OtherDrive = 0;
    m_platform.unixTime = 1700000100;
    m_monitor.RefreshCycle(RefreshTrigger::Network);
    m_monitor.RefreshCycle(RefreshTrigger::Auto);
    m_monitor.RefreshCycle(RefreshTrigger::Network);
    const AgentSnapshot snapshot = TakeSnapshot(m_monitor);
    EXPECT_EQ(snapshot.refreshes, (std::array<std::uint64_t, kRefreshTriggers>{1, 0, 2}));
    ASSERT_EQ(snapshot.drives.size(), 1U);
    EXPECT_EQ(snapshot.drives[0].publishedAt, 1700000100);
    EXPECT_EQ(snapshot.drives[0].statusText, "空容量250 MByte");
}

TEST_F(ScrapeTest, ScrapeNeverWritesAndFollowsPass) {
    const struct {
        int metrics;
        std::string pass;
        std::string request;
        std::string replyStart; // empty: no scrape reply
    } cases[] = {
        {0, "", "GET /metrics HTTP/1.1\r\n\r\n", ""},
        {1, "", "GET /renew HTTP/1.1\r\n\r\n", ""},
        {1, "", "GET /metrics HTTP/1.1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\nContent-Length: "},
        {1, "", "GET /status.json HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"},
        {1, "pw", "GET /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Bearer"},
        {1, "pw", "GET /metrics/px HTTP/1.1\r\n\r\n", "HTTP/1.1 401 Unauthorized\r\n"},
        {1, "pw", "GET /metrics/pw HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
        {1, "pw", "GET /metrics HTTP/1.1\r\nAuthorization: Bearer pw\r\n\r\n", "HTTP/1.1 200 OK\r\n"},
        {1, "pw", "GET /status.json HTTP/1.1\r\nAuthorization: Bearer pwx\r\n\r\n", "HTTP/1.1 401 Unauthorized\r\n"},
    };
    for (const auto& c : cases) {
        m_monitor.Settings().HttpMetrics = c.metrics;
        m_monitor.Settings().Pass = c.pass;
        const std::optional<std::string> reply = ScrapeReply(c.request, m_monitor);
        if (c.replyStart.empty()) {
            EXPECT_FALSE(reply) << c.request;
        } else {
            ASSERT_TRUE(reply) << c.request;
            EXPECT_TRUE(reply->starts_with(c.replyStart)) << c.request << *reply;
            const std::size_t bodyAt = reply->find("\r\n\r\n") + 4;
            EXPECT_NE(reply->find("Content-Length: " + std::to_string(reply->size() - bodyAt) + "\r\n"),
                      std::string::npos);
        }
    }
    // Not even the NetWork switch is needed, and what is not a scrape is refused as ever.
    m_monitor.Settings().Pass.clear();
    EXPECT_TRUE(ReplyTo("GET /metrics HTTP/1.1\r\n\r\n", true, m_monitor).starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(ReplyTo("GET /renew HTTP/1.1\r\n\r\n", true, m_monitor), "HTTP/1.1 404 Not Found");

    EXPECT_EQ(m_platform.saves, 0);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
    EXPECT_EQ(m_monitor.RefreshCounts(), (std::array<std::uint64_t, kRefreshTriggers>{}));
    EXPECT_EQ(m_monitor.Settings().Directory2, "DFE");
}

} // namespace

namespace {

// The trend and limit fields come only with the options that make them; a family without samples is not written.
TEST(Scrape, TrendAndLimitFieldsOnlyWithTheirOptions) {
    const DriveOutlook falling{-2000, 86400, 80000, 90000, 2};
    const std::string c = "{letter=\"C\",path=\"/\",role=\"main\"} ";
    const struct {
        bool historyOn;
        bool hasLimit;
        DriveOutlook outlook;
        std::string metrics; // the lines between tarvellin_drive_level and the refresh counts
        std::string json;    // after published_time
    } cases[] = {
        {false, false, falling, "", ""},
        {true, false, {}, "", ",\"trend_bytes_per_day\":null,\"full_in_seconds\":null,\"full_in_range_seconds\":null"},
        {true, true, falling,
         "tarvellin_drive_trend_bytes_per_day" + c + "-2000\ntarvellin_drive_full_in_seconds" + c +
             "86400\ntarvellin_drive_limit_state" + c + "2\n",
         ",\"trend_bytes_per_day\":-2000,\"full_in_seconds\":86400,\"full_in_range_seconds\":[80000,90000],"
         "\"limit_state\":\"full_within_24h\""},
        {false, true, {}, "tarvellin_drive_limit_state" + c + "0\n", ",\"limit_state\":\"ok\""},
    };
    for (const auto& c : cases) {
        AgentSnapshot snapshot;
        snapshot.historyOn = c.historyOn;
        DriveSnapshot& drive = snapshot.drives.emplace_back();
        drive.letter = "C";
        drive.main = true;
        drive.path = "/";
        drive.outlook = c.outlook;
        drive.hasLimit = c.hasLimit;
        const std::string text = MetricsText(snapshot);
        const std::size_t from = text.find("\n#", text.find("# TYPE tarvellin_drive_level")) + 1;
        std::string between;
        std::istringstream lines(text.substr(from, text.find("# HELP tarvellin_refreshes_total") - from));
        for (std::string line; std::getline(lines, line);) {
            between += line.starts_with("#") ? "" : line + "\n";
        }
        EXPECT_EQ(between, c.metrics) << text;
        const auto count = [](const std::string& in, const std::string& what) {
            std::size_t n = 0;
            for (std::size_t at = in.find(what); at != std::string::npos; at = in.find(what, at + 1)) {
                ++n;
            }
            return n;
        };
        EXPECT_EQ(count(text, "# TYPE "), 7 + count(c.metrics, "\n")) << "HELP and TYPE only with samples";
        const std::string json = StatusJson(snapshot);
        const std::size_t after = json.find("\"published_time\":null") + 21;
        EXPECT_EQ(json.substr(after, json.find("}]}") - after), c.json) << json;
    }
}

} // namespace
