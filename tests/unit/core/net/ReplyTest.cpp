#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Cp932.h"
#include "FakePlatform.h"
#include "TempDir.h"
#include "core/capacity/Monitor.h"
#include "core/net/Reply.h"
#include "core/net/Request.h"

namespace {

class ReplyTest : public ::testing::Test {
protected:
    ReplyTest() {
        m_platform.encoder = ToCp932;
        m_platform.currentLetter = "C";
        m_platform.AddDrive('C', 1000, 500);
        m_monitor.Settings().Path = m_dir.Folder();
    }

    // Page of a reading set by hand (no refresh).
    std::string PageOf(int freeMB, int totalMB, const std::string& directory) {
        CapacityReading& reading = m_monitor.Reading();
        reading.freeMB = freeMB;
        reading.totalMB = totalMB;
        reading.usedMB = totalMB - freeMB;
        reading.usedText = "U";
        reading.totalText = "T";
        reading.freeText = "F";
        m_monitor.Settings().Directory = directory;
        return StatusPage("", m_monitor);
    }

    TempDir m_dir;
    FakePlatform m_platform;
    Monitor m_monitor{m_platform, m_dir.Folder() + "tarvellin.ini"};
};

} // namespace

TEST_F(ReplyTest, NotFoundIsTheBareStatusLine) {
    const std::string reply = ReplyText(ReplyKind::NotFound, m_monitor);
    EXPECT_EQ(reply, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(reply.size(), 22U);
    EXPECT_EQ(m_platform.capacityQueries, 0);
    EXPECT_EQ(m_platform.saves, 0);
}

TEST_F(ReplyTest, HeadIs44BytesOfCodePage932) {
    const std::string head = ToCp932(kUpdateAcceptedHead);
    EXPECT_EQ(head.size(), 44U);
    EXPECT_EQ(head.substr(0, 18), std::string("<html><body>\x83\x66\x81\x5b\x83\x5e"));
}

TEST_F(ReplyTest, WorkedExampleGivesTheExactPage) {
    m_platform.AddDrive('D', 476000, 119000);
    m_monitor.Settings().Directory = "D";
    const std::string reply = ReplyText(ReplyKind::UpdateAccepted, m_monitor);
    const std::string expected = ToCp932("<html><body>データ更新受け付けました<BR><BR>"
                                         "使用量357000 MByte<BR>全容量476000 MByte<BR>空容量119000 MByte<BR>"
                                         "Dドライブ空容量25%<BR></body></html>");
    EXPECT_EQ(reply, expected);
    EXPECT_EQ(reply.find_first_of("\r\n"), std::string::npos);
    // The refresh ran: the status file and the saved settings follow the new reading.
    EXPECT_EQ(m_dir.List(), (std::vector<std::string>{"tarvellin.ini", "空容量119000 MByte"}));
    EXPECT_NE(m_dir.Read("tarvellin.ini").find("空容量119000 MByte"), std::string::npos);
}

TEST_F(ReplyTest, WorkedExampleInGByte) {
    m_platform.AddDrive('D', 476000, 119000);
    m_monitor.Settings().Directory = "D";
    m_monitor.Settings().GByte = 1;
    const std::string expected = ToCp932("<html><body>データ更新受け付けました<BR><BR>"
                                         "使用量348.63 GByte<BR>全容量464.84 GByte<BR>空容量116.21 GByte<BR>"
                                         "Dドライブ空容量25%<BR></body></html>");
    EXPECT_EQ(ReplyText(ReplyKind::UpdateAccepted, m_monitor), expected);
}

TEST_F(ReplyTest, EmptyDirectoryShowsTheLetterTheRefreshFillsIn) {
    m_monitor.Settings().Directory.clear();
    const std::string reply = ReplyText(ReplyKind::UpdateAccepted, m_monitor);
    EXPECT_NE(reply.find(ToCp932("Cドライブ空容量50%")), std::string::npos);
}

TEST_F(ReplyTest, PercentageIsRightAlignedInTwoCharacters) {
    struct Case {
        int freeMB;
        int totalMB;
        std::string tail;
    };
    const std::vector<Case> cases = {
        {5, 100, " 5%"},
        {0, 100, " 0%"},
        {100, 100, "100%"},
        {25, 100, "25%"},
        {99, 1000, " 9%"},
        {0, 0, " 0%"},                   // a volume below 1 MB
        {2000000000, 2100000000, "95%"}, // free x 100 leaves 32 bits
        {2147483647, 2147483647, "100%"},
    };
    for (const Case& c : cases) {
        const std::string expected = ToCp932("U<BR>T<BR>F<BR>Xドライブ空容量" + c.tail + "<BR></body></html>");
        EXPECT_EQ(PageOf(c.freeMB, c.totalMB, "X"), expected) << c.freeMB << " / " << c.totalMB;
    }
}

TEST_F(ReplyTest, HeadersMakeCompleteResponses) {
    m_monitor.Settings().HttpHeaders = 1;
    EXPECT_EQ(ReplyText(ReplyKind::NotFound, m_monitor),
              "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");

    m_platform.AddDrive('D', 476000, 119000);
    m_monitor.Settings().Directory = "D";
    const std::string reply = ReplyText(ReplyKind::UpdateAccepted, m_monitor);
    const std::string page = ToCp932("<html><body>データ更新受け付けました<BR><BR>"
                                     "使用量357000 MByte<BR>全容量476000 MByte<BR>空容量119000 MByte<BR>"
                                     "Dドライブ空容量25%<BR></body></html>");
    EXPECT_EQ(reply, "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=Shift_JIS\r\nContent-Length: " +
                         std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
}

TEST_F(ReplyTest, OnlyAnAcceptedUpdateChangesTheMonitor) {
    m_monitor.Settings().NetWork = 1;
    const std::string renewed = ReplyTo("GET /renew HTTP/1.1\r\n", true, m_monitor);
    const int queries = m_platform.capacityQueries;
    const int saves = m_platform.saves;
    // Through the const view the page is that of the last refresh: nothing is measured or written again.
    const Monitor& view = m_monitor;
    EXPECT_EQ(ComposeReply(ReplyKind::UpdateAccepted, view), renewed);
    EXPECT_EQ(ReplyTo("GET /other HTTP/1.1\r\n", true, m_monitor), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(ReplyTo("GET /renew HTTP/1.1\r\n", false, m_monitor), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(m_platform.capacityQueries, queries);
    EXPECT_EQ(m_platform.saves, saves);
    EXPECT_EQ(m_monitor.RefreshCounts()[static_cast<std::size_t>(RefreshTrigger::Network)], 1U);
}
