#include "core/settings/SettingsStore.h"

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"
#include "core/capacity/Monitor.h"

namespace {

struct QuoteCase {
    std::string stored;
    std::string loaded;
};

void PrintTo(const QuoteCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.stored.substr(0, 20));
}

class StripQuotesTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(StripQuotesTest, RemovesOnlyTheLeadingQuotedPart) {
    EXPECT_EQ(StripQuotes(GetParam().stored), GetParam().loaded);
}

INSTANTIATE_TEST_SUITE_P(Table, StripQuotesTest,
                         ::testing::Values(QuoteCase{"\"D:\\state\"", "D:\\state"}, QuoteCase{"D:\\state", "D:\\state"},
                                           QuoteCase{"\"\"", ""}, QuoteCase{"\"D:\\open", "\"D:\\open"},
                                           QuoteCase{"\"D:\\a\"tail\"", "D:\\a"}, QuoteCase{"", ""},
                                           QuoteCase{"\"", "\""}, QuoteCase{"a\"b\"", "a\"b\""},
                                           QuoteCase{"\"/mnt/日本語/\"", "/mnt/日本語/"},
                                           QuoteCase{std::string("\"ab\0cd\"", 7), "\"ab"},
                                           QuoteCase{"\"" + std::string(5000, 'x') + "\"", std::string(5000, 'x')},
                                           QuoteCase{"\"" + std::string(5000, 'x'), "\"" + std::string(5000, 'x')}));

// Key names of the section "Setting" in file order.
std::vector<std::string> KeysOf(const std::string& text) {
    std::vector<std::string> keys;
    for (const auto& entry : IniProfile(text).Entries(kSettingSection)) {
        keys.push_back(entry.first);
    }
    return keys;
}

MonitorSettings FullSettings() {
    MonitorSettings s;
    s.Path = "/srv/状態/";
    s.Filename = "空容量12345 MByte";
    s.Auto = 1;
    s.Time = -3;
    s.GByte = 1;
    s.Directory = "d";
    s.NetWork = 1;
    s.Port = 70000;
    s.Keikoku = 1;
    s.Nokori = 2000000000;
    s.Pass = "\"secret\"";
    s.NetKoushin = 1;
    s.EnbChange = 1;
    s.OtherDrive = 1;
    s.Directory2 = "CDE";
    for (int k = 0; k < kDriveSlots; ++k) {
        s.Path2To10[static_cast<std::size_t>(k)] = "/p" + std::to_string(k + 2) + "/";
        s.Filename2To10[static_cast<std::size_t>(k)] = "NO CD_DVD DISK " + std::to_string(k);
    }
    return s;
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { platform.configurationPath = dir.Folder() + "tarvellin.ini"; }
    Monitor MakeMonitor() { return Monitor(platform, platform.configurationPath); }
    std::string FileText() const { return dir.Read("tarvellin.ini"); }

    TempDir dir;
    FakePlatform platform;
};

TEST_F(SettingsFileTest, SaveWritesAllKeysInFixedOrderWithQuotedFolders) {
    Monitor monitor = MakeMonitor();
    monitor.Settings() = FullSettings();
    monitor.SaveSettings();

    const std::vector<std::string> expected = {
        "Path",       "Filename",  "Auto",      "Time",      "GByte",      "Directory", "NetWork",
        "Port",       "Keikoku",   "Nokori",    "Pass",      "NetKoushin", "EnbChange", "OtherDrive",
        "Directory2", "Path2",     "Path3",     "Path4",     "Path5",      "Path6",     "Path7",
        "Path8",      "Path9",     "Path10",    "Filename2", "Filename3",  "Filename4", "Filename5",
        "Filename6",  "Filename7", "Filename8", "Filename9", "Filename10"};
    EXPECT_EQ(KeysOf(FileText()), expected);
    const IniProfile written(FileText());
    EXPECT_EQ(written.GetProfileString("Setting", "Path"), "\"/srv/状態/\"");
    EXPECT_EQ(written.GetProfileString("Setting", "Path10"), "\"/p10/\"");
    EXPECT_EQ(written.GetProfileString("Setting", "Time"), "-3");
    EXPECT_EQ(written.GetProfileString("Setting", "Pass"), "\"secret\"");
    EXPECT_EQ(platform.saves, 1);
}

TEST_F(SettingsFileTest, FileWrittenByUsReadsBackToSameSettings) {
    Monitor writer = MakeMonitor();
    writer.Settings() = FullSettings();
    writer.SaveSettings();

    Monitor reader = MakeMonitor();
    int listenedPort = -1;
    int listenCalls = 0;
    EXPECT_EQ(reader.LoadSettings([&](int port, const std::string&) {
        listenedPort = port;
        ++listenCalls;
    }),
              "d");
    EXPECT_EQ(reader.Settings(), FullSettings());
    EXPECT_EQ(listenedPort, 70000);
    EXPECT_EQ(listenCalls, 1);
    EXPECT_EQ(reader.MinuteCounter(), -3);
    EXPECT_EQ(reader.LastStatusFolder(), "/srv/状態/");
    EXPECT_EQ(reader.Slots()[8].lastFolder, "/p10/");
}

TEST_F(SettingsFileTest, ListeningStartsRightAfterNokoriIsRead) {
    dir.Write("tarvellin.ini", "[Setting]\nPort=1234\nNokori=5\nPass=pw\nDirectory2=CD\n[Http]\nAddress=\"::1\"\n");
    Monitor monitor = MakeMonitor();
    int port = 0;
    std::string address;
    monitor.LoadSettings([&](int p, const std::string& a) {
        port = p;
        address = a;
    });
    EXPECT_EQ(port, 1234);
    EXPECT_EQ(address, "::1");

    // Order of reads: everything up to Nokori is known when listening starts, nothing after it.
    std::vector<std::string> readSoFar;
    const IniProfile ini(FileText());
    const MonitorSettings loaded = ReadMonitorSettings(ini, [&](const MonitorSettings& soFar) {
        EXPECT_EQ(soFar.Port, 1234);
        EXPECT_EQ(soFar.Nokori, 5);
        EXPECT_EQ(soFar.Pass, "");
        EXPECT_EQ(soFar.Directory2, "");
    });
    EXPECT_EQ(loaded.Pass, "pw");
    EXPECT_EQ(loaded.Directory2, "CD");
}

TEST_F(SettingsFileTest, FirstStartWithoutFileGivesDefaultsAndFirstSaveCreatesFile) {
    Monitor monitor = MakeMonitor();
    EXPECT_EQ(monitor.LoadSettings(), "");
    EXPECT_EQ(monitor.Settings(), MonitorSettings{});
    EXPECT_EQ(monitor.Settings().Port, 8085);
    EXPECT_EQ(monitor.Settings().Nokori, 100);
    EXPECT_EQ(monitor.MinuteCounter(), 0);

    monitor.Settings().Directory = "C";
    monitor.CountMinute();
    monitor.SaveSettings();
    EXPECT_EQ(monitor.MinuteCounter(), 0);
    const IniProfile written(FileText());
    EXPECT_EQ(KeysOf(FileText()).size(), 33U);
    EXPECT_EQ(written.GetProfileString("Setting", "Directory"), "C");
    EXPECT_EQ(written.GetProfileString("Setting", "Path"), "\"\"");
    EXPECT_EQ(written.GetProfileString("Setting", "Port"), "8085");
}

TEST_F(SettingsFileTest, SaveKeepsOtherSectionsCommentsAndCrLf) {
    const std::string before = "; kept comment\r\n[Http]\r\nHeaders=1\r\nMetrics=1\r\n\r\n[Setting]\r\nAuto=1\r\n"
                               "Unknown=x\r\n\r\n[Tail]\r\nZ=9\r\n";
    dir.Write("tarvellin.ini", before);
    Monitor monitor = MakeMonitor();
    monitor.LoadSettings();
    EXPECT_EQ(monitor.Settings().HttpHeaders, 1);
    EXPECT_EQ(monitor.Settings().HttpMetrics, 1);
    EXPECT_EQ(monitor.Settings().Auto, 1);
    monitor.SaveSettings();

    const std::string after = FileText();
    EXPECT_EQ(
        after.rfind("; kept comment\r\n[Http]\r\nHeaders=1\r\nMetrics=1\r\n\r\n[Setting]\r\nAuto=1\r\nUnknown=x\r\n"
                    "Path=\"\"\r\n",
                    0),
        0U);
    EXPECT_NE(after.find("Filename10=\r\n\r\n[Tail]\r\nZ=9\r\n"), std::string::npos);
    EXPECT_EQ(after.find("\n\n"), std::string::npos); // no bare LF crept in
    EXPECT_EQ(IniProfile(after).GetProfileInt("Http", "Headers", 0), 1);
}

TEST_F(SettingsFileTest, FailedSaveLeavesOldFileAndNextCycleTriesAgain) {
    dir.Write("tarvellin.ini", "[Setting]\nAuto=1\n");
    Monitor monitor = MakeMonitor();
    monitor.LoadSettings();
    monitor.Settings().Auto = 0;
    monitor.CountMinute();
    platform.failSave = true;
    monitor.SaveSettings();
    EXPECT_EQ(FileText(), "[Setting]\nAuto=1\n");
    EXPECT_EQ(monitor.MinuteCounter(), 0);
    EXPECT_EQ(monitor.Settings().Auto, 0);

    platform.failSave = false;
    monitor.SaveSettings();
    EXPECT_EQ(platform.saves, 2);
    EXPECT_EQ(IniProfile(FileText()).GetProfileInt("Setting", "Auto", 1), 0);
}

TEST_F(SettingsFileTest, FileThatBecameUnreadableIsNotReplaced) {
    dir.Write("tarvellin.ini", "[Other]\nKeep=1\n[Setting]\nAuto=1\n");
    Monitor monitor = MakeMonitor();
    monitor.LoadSettings();
    platform.failRead = true;
    monitor.CountMinute();
    monitor.SaveSettings();
    EXPECT_EQ(platform.saves, 0);
    EXPECT_EQ(monitor.MinuteCounter(), 0);
    EXPECT_EQ(FileText(), "[Other]\nKeep=1\n[Setting]\nAuto=1\n");

    platform.failRead = false;
    monitor.SaveSettings();
    EXPECT_EQ(platform.saves, 1);
    EXPECT_EQ(IniProfile(FileText()).GetProfileInt("Other", "Keep", 0), 1);
}

TEST_F(SettingsFileTest, FileUnreadableAtStartIsNotReplacedUntilAReloadReadsIt) {
    dir.Write("tarvellin.ini", "[Other]\nKeep=1\n[Setting]\nPort=9000\n");
    platform.failRead = true;
    Monitor monitor = MakeMonitor();
    monitor.LoadSettings();
    EXPECT_EQ(monitor.Settings().Port, 8085); // unreadable: the defaults are used
    monitor.SaveSettings();
    EXPECT_FALSE(monitor.ReloadSettings()); // still unreadable: nothing changes
    platform.failRead = false;
    monitor.SaveSettings(); // readable now, but the defaults held are not the file's
    EXPECT_EQ(platform.saves, 0);
    EXPECT_EQ(FileText(), "[Other]\nKeep=1\n[Setting]\nPort=9000\n");

    ASSERT_TRUE(monitor.ReloadSettings());
    EXPECT_EQ(monitor.Settings().Port, 9000);
    monitor.SaveSettings();
    EXPECT_EQ(IniProfile(FileText()).GetProfileInt("Other", "Keep", 0), 1);
    EXPECT_EQ(IniProfile(FileText()).GetProfileInt("Setting", "Port", 0), 9000);
}

TEST_F(SettingsFileTest, FolderWithLineBreakKeepsItsClosingQuote) {
    Monitor monitor = MakeMonitor();
    monitor.Settings().Path = "/a\rb/";
    monitor.Settings().Path2To10[0] = "/c\n[Drives]\nC=/evil";
    monitor.Settings().Pass = "pw\nNetWork=1";
    monitor.SaveSettings();
    Monitor reader = MakeMonitor();
    reader.LoadSettings();
    EXPECT_EQ(reader.Settings().Path, "/a\rb/");
    EXPECT_EQ(reader.Settings().Path2To10[0], "/c");
    EXPECT_EQ(reader.Settings().Pass, "pw");
    EXPECT_EQ(reader.Settings().NetWork, 0);
    EXPECT_FALSE(IniProfile(FileText()).HasSection("Drives"));
}

TEST_F(SettingsFileTest, MalformedValuesLoadWithoutFault) {
    using namespace std::string_literals;
    dir.Write("tarvellin.ini", "[Setting]\nPort=99999999999\nTime=-2x\nAuto=\xff\nNokori=\nPath=\"\0\"\n"s);
    Monitor monitor = MakeMonitor();
    int port = 0;
    monitor.LoadSettings([&](int p, const std::string&) { port = p; });
    EXPECT_EQ(port, 2147483647);
    EXPECT_EQ(monitor.Settings().Time, -2);
    EXPECT_EQ(monitor.Settings().Auto, 0);
    EXPECT_EQ(monitor.Settings().Nokori, 0);
    EXPECT_EQ(monitor.Settings().Path, "\"");
}

TEST_F(SettingsFileTest, DriveTableIsWrittenOnceWhenTheFileHasNone) {
    platform.usesDriveTable = true;
    platform.driveTable = {{'C', "/"}, {'D', "/mnt/data"}};
    Monitor monitor = MakeMonitor();
    monitor.LoadSettings();
    platform.failSave = true;
    monitor.SaveSettings(); // failed: the table is still owed to the file
    platform.failSave = false;
    monitor.SaveSettings();
    const IniProfile written(FileText());
    EXPECT_EQ(written.GetProfileString("Drives", "C"), "\"/\"");
    EXPECT_EQ(written.GetProfileString("Drives", "D"), "\"/mnt/data\"");

    platform.driveTable = {{'C', "/"}, {'E', "/mnt/e"}};
    monitor.SaveSettings();
    const IniProfile again(FileText());
    EXPECT_EQ(again.GetProfileString("Drives", "D"), "\"/mnt/data\"");
    EXPECT_EQ(again.GetProfileString("Drives", "E", "none"), "none");
}

TEST_F(SettingsFileTest, AutomaticDriveTableDropsFoldersTheFileCannotHold) {
    platform.usesDriveTable = true;
    platform.driveTable = {
        {'C', "/"}, {'D', "/m/q\"only"}, {'E', "/m/line\nfeed"}, {'F', "/m/cr\rx"}, {'G', "/m/ spaced ;=[x]"}};
    Monitor monitor = MakeMonitor();
    monitor.LoadSettings();
    const std::vector<DriveMapping> kept = {{'C', "/"}, {'F', "/m/cr\rx"}, {'G', "/m/ spaced ;=[x]"}};
    EXPECT_EQ(platform.driveTable, kept);
    monitor.SaveSettings();
    EXPECT_EQ(ReadDriveTable(IniProfile(FileText())), kept);
}

TEST_F(SettingsFileTest, DriveTableSectionIsReadAndNeverRewritten) {
    const std::string before = "[Drives]\nd=\"/mnt/d\"\nC = /\nAB=/x\n1=/y\nE=\nc=/other\n[Setting]\n";
    dir.Write("tarvellin.ini", before);
    platform.usesDriveTable = true;
    Monitor monitor = MakeMonitor();
    monitor.LoadSettings();
    const std::vector<DriveMapping> expected = {{'C', "/"}, {'D', "/mnt/d"}};
    EXPECT_EQ(platform.driveTable, expected);

    platform.driveTable.push_back({'Z', "/z"});
    monitor.SaveSettings();
    EXPECT_EQ(FileText().rfind("[Drives]\nd=\"/mnt/d\"\nC = /\nAB=/x\n1=/y\nE=\nc=/other\n[Setting]\n", 0), 0U);
    EXPECT_EQ(IniProfile(FileText()).GetProfileString("Drives", "Z", "none"), "none");
}

TEST_F(SettingsFileTest, DriveTableIgnoredOnPlatformsWithLetters) {
    dir.Write("tarvellin.ini", "[Drives]\nD=/mnt/d\n");
    platform.driveTable = {{'C', "/"}};
    Monitor monitor = MakeMonitor();
    monitor.LoadSettings();
    monitor.SaveSettings();
    EXPECT_EQ(platform.driveTable, (std::vector<DriveMapping>{{'C', "/"}}));
    EXPECT_EQ(IniProfile(FileText()).Entries("Drives").size(), 1U);
}

} // namespace
