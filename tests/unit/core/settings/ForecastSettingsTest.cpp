#include "core/settings/ForecastSettings.h"

#include <gtest/gtest.h>

#include "core/settings/SettingsStore.h"

namespace {

constexpr std::uint64_t kGB = 1ull << 30;

struct SettingsCase {
    const char* name;
    const char* ini;
    ForecastSettings expected;
    std::vector<const char*> problems; // a part of each line told, in order
};

ForecastSettings With(int days, std::map<char, DriveLimit> limits = {}, int repeat = 0, int forecast = 0) {
    return {days, forecast, std::move(limits), repeat};
}

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class ForecastSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(ForecastSettingsTest, GoodValuesAreTakenAndEachBadOneToldAndIgnored) {
    const SettingsCase& c = GetParam();
    const ForecastSettingsRead read = ReadForecastSettings(IniProfile(c.ini));
    EXPECT_EQ(read.settings, c.expected);
    ASSERT_EQ(read.problems.size(), c.problems.size());
    for (std::size_t i = 0; i < c.problems.size(); ++i) {
        EXPECT_NE(read.problems[i].find(c.problems[i]), std::string::npos) << read.problems[i];
    }
}

const SettingsCase kSettingsCases[] = {
    {"noKeysAreOff", "[Setting]\nAuto=1\n", With(0), {}},
    {"days", "[History]\nDays= 30 \n[Display]\nForecast=1\n", With(30, {}, 0, 1), {}},
    {"daysBeyondTheMostAreCapped", "[History]\nDays=999\n", With(400), {"Days=999 is more than 400"}},
    {"malformedDaysAreOff", "[History]\nDays=7x\n", With(0), {"Days=7x is not a number"}},
    {"negativeDaysAreOff", "[History]\nDays=-3\n", With(0), {"Days=-3 is not a number"}},
    {"limitsInEveryUnitAndCase",
     "[Limits]\nc=10%\nD=50GB\nE=5%, 20gb\nF=512 mb\nG=1.5TB\nRepeat=12\n",
     With(0,
          {{'C', {10.0, {}}},
           {'D', {{}, 50 * kGB}},
           {'E', {5.0, 20 * kGB}},
           {'F', {{}, 512ull << 20}},
           {'G', {{}, 3 * (kGB << 9)}}},
          12),
     {}},
    {"badLimitsAreToldAndIgnored",
     "[Limits]\nC=10\nD=0GB\nE=150%\nF=5%,6%\nG=abc\nH=5PB\nDrive=5%\nRepeat=soon\nI=5%\n",
     With(0, {{'I', {5.0, {}}}}),
     {"C=10 is not a limit", "D=0GB", "E=150%", "F=5%,6%", "G=abc", "H=5PB", "Drive is neither",
      "Repeat=soon is not a number"}},
};

INSTANTIATE_TEST_SUITE_P(Files, ForecastSettingsTest, ::testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ForecastSettings, ASaveNeitherAddsNorDropsTheirSections) {
    for (const std::string text : {"[Setting]\nAuto=1\n", "[History]\nDays=7\n[Limits]\nC=10%\n"}) {
        IniProfile ini(text);
        WriteMonitorSettings(ini, ReadMonitorSettings(ini));
        EXPECT_EQ(ReadForecastSettings(IniProfile(ini.Text())).settings,
                  ReadForecastSettings(IniProfile(text)).settings);
        EXPECT_EQ(ini.Text().find("[History]") != std::string::npos, text.find("[History]") != std::string::npos);
    }
}

} // namespace
