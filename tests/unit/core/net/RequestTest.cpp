#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/net/Request.h"
#include "core/settings/MonitorSettings.h"

namespace {

struct ParseCase {
    std::string request;
    std::string command;
    std::string value;
    std::string password;
};

RequestFields ParseRequest(const std::string& request) {
    const std::string_view text = RequestText(request);
    return ParsePath(text.size() > 5 ? text.substr(5) : std::string_view{});
}

} // namespace

TEST(RequestParse, SplitsPathIntoCommandValueAndPassword) {
    const std::vector<ParseCase> cases = {
        {"GET / HTTP/1.1\r\n", "", "", ""},
        {"GET //index HTTP/1.1\r\n", "", "", ""},
        {"GET /renew HTTP/1.1\r\n", "renew", "", "HTTP"},
        {"GET /renew/ HTTP/1.1\r\n", "renew", "", ""},
        {"GET /Time=10 HTTP/1.1\r\n", "Time", "10", "HTTP"},
        {"GET /x=y=z HTTP/1.1\r\n", "y", "z", "HTTP"},
        {"GET /Time==5 HTTP/1.1\r\n", "Time", "=5", "HTTP"},
        {"GET /=5 HTTP/1.1\r\n", "", "5", "HTTP"},
        {"GET renew HTTP/1.1\r\n", "enew", "", "HTTP"},
        {"GET /favicon.ico HTTP/1.1\r\n", "favicon.ico", "", "HTTP"},
        {"GET /renew/secret HTTP/1.1\r\n", "renew", "", "secret"},
        {"GET /renew/secret/more HTTP/1.1\r\n", "renew", "", "secret"},
        {"GET /Time=10/pw HTTP/1.1\r\n", "Time", "10", "pw"},
        {"GET /Time=/x HTTP/1.1\r\n", "Time", "/x", "HTTP"},     // the byte after "=" is always value
        {"GET /Time= HTTP/1.1\r\n", "Time", " HTTP", "1.1\r\n"}, // even a space
        {"GET /a%20b HTTP/1.1\r\n", "a%20b", "", "HTTP"},        // no unescaping
        {"GET /Renew HTTP/1.1\r\n", "Renew", "", "HTTP"},
        // Texts that end before a segment has ended: the scans stop at the end.
        {"", "", "", ""},
        {"G", "", "", ""},
        {"GET", "", "", ""},
        {"GET /", "", "", ""},
        {"GET /renew", "renew", "", ""},
        {"GET /renew/", "renew", "", ""},
        {"GET /renew/pw", "renew", "", "pw"},
        {"GET /a=", "a", "", ""},
        {"GET /a==", "a", "=", ""},
        // A NUL ends the received text.
        {std::string("GET /re\0new HTTP/1.1", 20), "re", "", ""},
        {std::string("GET /renew/p\0w HTTP/1.1", 23), "renew", "", "p"},
    };
    for (const ParseCase& c : cases) {
        const RequestFields fields = ParseRequest(c.request);
        EXPECT_EQ(fields.command, c.command) << c.request;
        EXPECT_EQ(fields.value, c.value) << c.request;
        EXPECT_EQ(fields.password, c.password) << c.request;
        EXPECT_FALSE(fields.overlong) << c.request;
    }
}

TEST(RequestParse, FieldsHoldNinetyNineBytesAndLongerSegmentsAreOverlong) {
    struct Case {
        std::string request;
        bool overlong;
    };
    const std::string s99(99, 'a');
    const std::string s100(100, 'a');
    const std::string s1000(1000, 'a');
    const std::vector<Case> cases = {
        {"GET /" + s99 + " HTTP/1.1", false},
        {"GET /" + s100 + " HTTP/1.1", true},
        {"GET /" + s1000 + " HTTP/1.1", true},
        {"GET /" + s1000, true},
        {"GET /Time=" + s99 + " HTTP/1.1", false},
        {"GET /Time=" + s100 + " HTTP/1.1", true},
        {"GET /" + s100 + "=1 HTTP/1.1", true},
        {"GET /x=" + s100 + "=1 HTTP/1.1", true}, // a long piece between two "=" is a command too
        {"GET /renew/" + s99 + " HTTP/1.1", false},
        {"GET /renew/" + s100 + " HTTP/1.1", true},
        {"GET /renew/" + s1000, true},
    };
    for (const Case& c : cases) {
        const RequestFields fields = ParseRequest(c.request);
        EXPECT_EQ(fields.overlong, c.overlong) << c.request.size();
        EXPECT_LE(fields.command.size(), 99U);
        EXPECT_LE(fields.value.size(), 99U);
        EXPECT_LE(fields.password.size(), 99U);
    }
}

TEST(RequestText, EndsAtFirstNulAndAfter1024Bytes) {
    EXPECT_EQ(RequestText(std::string("GET\0/renew", 10)), "GET");
    EXPECT_EQ(RequestText(std::string(5000, 'x')).size(), 1024U);
    EXPECT_EQ(RequestText(std::string(1024, 'x')).size(), 1024U);
    EXPECT_EQ(RequestText(""), "");
}

TEST(PasswordMatches, AcceptsOnlyTheExactBytes) {
    struct Case {
        std::string given;
        std::string pass;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"secret", "secret", true},
        {"", "", true},
        {"Secret", "secret", false},
        {"secreT", "secret", false},
        {"secre", "secret", false},
        {"secrets", "secret", false},
        {"", "secret", false},
        {"secret", "", false},
        {std::string("se\0ret", 6), "se", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PasswordMatches(c.given, c.pass), c.matches) << c.given << " / " << c.pass;
    }
}

namespace {

struct DecisionCase {
    std::string request;
    std::string pass;
    int netKoushin;
    int enbChange;
    ReplyKind expected;
};

MonitorSettings SettingsOf(const DecisionCase& c) {
    MonitorSettings settings;
    settings.Pass = c.pass;
    settings.NetKoushin = c.netKoushin;
    settings.EnbChange = c.enbChange;
    return settings;
}

} // namespace

TEST(DecideRequest, AppliesTheRulesInOrder) {
    constexpr auto kUpdate = ReplyKind::UpdateAccepted;
    constexpr auto kNotFound = ReplyKind::NotFound;
    const std::vector<DecisionCase> cases = {
        // Method check.
        {"get /renew HTTP/1.1\r\n", "", 0, 0, kNotFound},
        {"Get /renew HTTP/1.1\r\n", "", 0, 0, kNotFound},
        {"POST /renew HTTP/1.1\r\n", "", 0, 0, kNotFound},
        {"", "", 1, 0, kNotFound},
        {"G", "", 1, 0, kNotFound},
        {"GE", "", 1, 0, kNotFound},
        {std::string("\0GET / HTTP/1.1", 15), "", 1, 0, kNotFound},
        // No command: NetKoushin decides, the password is not consulted.
        {"GET / HTTP/1.1\r\n", "", 1, 0, kUpdate},
        {"GET / HTTP/1.1\r\n", "", 0, 0, kNotFound},
        {"GET / HTTP/1.1\r\n", "", 2, 0, kNotFound},
        {"GET / HTTP/1.1\r\n", "secret", 1, 0, kUpdate},
        {"GET /=5/wrong HTTP/1.1\r\n", "secret", 1, 0, kUpdate},
        {"GET", "", 1, 0, kUpdate},
        {"GET /", "", 1, 0, kUpdate},
        {"GET /", "", 0, 0, kNotFound},
        // renew, with the password when one is set.
        {"GET /renew HTTP/1.1\r\n", "", 0, 0, kUpdate},
        {"GET /renew/anything HTTP/1.1\r\n", "", 0, 0, kUpdate},
        {"GET /renew", "", 0, 0, kUpdate},
        {"GET /renew/secret HTTP/1.1\r\n", "secret", 0, 0, kUpdate},
        {"GET /renew/secret/x", "secret", 0, 0, kUpdate},
        {"GET /renew=1/secret HTTP/1.1\r\n", "secret", 0, 0, kUpdate},
        {"GET /renew/Secret HTTP/1.1\r\n", "secret", 0, 0, kNotFound},
        {"GET /renew/secre HTTP/1.1\r\n", "secret", 0, 0, kNotFound},
        {"GET /renew HTTP/1.1\r\n", "secret", 0, 0, kNotFound},
        {"GET /renew HTTP/1.1\r\n", "HTTP", 0, 0, kUpdate}, // the version fills the password field
        {"GET /renew/a b HTTP/1.1\r\n", "a b", 1, 0, kNotFound},
        {"GET /renew/a/b HTTP/1.1\r\n", "a/b", 1, 0, kNotFound},
        {"GET /Renew HTTP/1.1\r\n", "", 0, 0, kNotFound},
        // Settings commands and requests that name no known command: all refused.
        {"GET /Time=10 HTTP/1.1\r\n", "", 0, 1, kNotFound},
        {"GET /Pass=x HTTP/1.1\r\n", "", 0, 1, kNotFound},
        {"GET /Time= HTTP/1.1\r\n", "", 0, 1, kNotFound},
        {"GET /Time=10 HTTP/1.1\r\n", "", 0, 0, kNotFound},
        {"GET /favicon.ico HTTP/1.1\r\n", "", 1, 1, kNotFound},
        // Overlong segments match no rule, whatever else would.
        {"GET /renew/" + std::string(99, 'p') + " HTTP/1.1", std::string(99, 'p'), 0, 0, kUpdate},
        {"GET /renew/" + std::string(100, 'p') + " HTTP/1.1", std::string(100, 'p'), 0, 0, kNotFound},
        {"GET /renew/" + std::string(1000, 'p'), "", 0, 0, kNotFound},
        {"GET /renew=" + std::string(100, 'v') + " HTTP/1.1", "", 0, 0, kNotFound},
        {"GET /=5/" + std::string(100, 'p') + " HTTP/1.1", "", 1, 0, kNotFound},
        // A NUL ends the text; the first 1024 bytes decide.
        {std::string("GET /renew\0/x HTTP/1.1", 22), "", 0, 0, kUpdate},
        {std::string("GET /ren\0ew HTTP/1.1", 20), "", 0, 0, kNotFound},
        {"GET /renew/pw HTTP/1.1\r\nHost: x\r\n" + std::string(3000, 'h'), "pw", 0, 0, kUpdate},
        {std::string(1024, ' ') + "GET /renew HTTP/1.1", "", 1, 0, kNotFound},
        // Many "=" and "/", no spaces, binary bytes.
        {"GET /" + std::string(500, '='), "", 1, 0, kNotFound}, // every other "=" ends a command "="
        {"GET /==", "", 1, 0, kUpdate},
        {"GET /a" + std::string(500, '='), "", 1, 0, kNotFound},
        {"GET " + std::string(1020, '/'), "", 1, 0, kUpdate},
        {"GET /renew/" + std::string(1013, '/'), "", 0, 0, kUpdate},
        {"GET /\xff\xfe\x01\x02 HTTP/1.1", "", 1, 1, kNotFound},
        {"GET\xff\xff\xff\xff\xff\xff", "", 0, 0, kNotFound},
    };
    for (const DecisionCase& c : cases) {
        EXPECT_EQ(DecideRequest(c.request, SettingsOf(c)), c.expected)
            << "request of " << c.request.size() << " bytes: " << c.request.substr(0, 40) << " / pass " << c.pass
            << " / NetKoushin " << c.netKoushin << " / EnbChange " << c.enbChange;
    }
}

TEST(DecideRequest, SurvivesEveryShortBinaryText) {
    MonitorSettings settings;
    settings.NetKoushin = 1;
    // Every text of up to two bytes after "GET /", and every single byte alone.
    for (int a = 0; a < 256; ++a) {
        const std::string one(1, static_cast<char>(a));
        EXPECT_EQ(DecideRequest(one, settings), ReplyKind::NotFound);
        for (int b = 0; b < 256; ++b) {
            std::string text = "GET /";
            text += static_cast<char>(a);
            text += static_cast<char>(b);
            const bool commandless = a == 0 || a == ' ' || a == '/' || a == '=';
            EXPECT_EQ(DecideRequest(text, settings), commandless ? ReplyKind::UpdateAccepted : ReplyKind::NotFound)
                << a << ' ' << b;
        }
    }
}
