// The refresh cycle with a main drive and nine other drives, each on a tmpfs of its own (when root; else
// folders of /dev/shm, or of the temporary folder), against the floor: the system calls that any
// implementation makes, done bare in one loop (statvfs x10, rename x10, the settings file written to a
// temporary file, flushed and renamed over the old one).

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "PosixPlatform.h"
#include "core/capacity/Monitor.h"
#include "core/history/HistoryLog.h"
#include "core/history/Trend.h"
#include "core/settings/ForecastSettings.h"
#include "platform/guarded/GuardedPlatform.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDrives = 10; // the main drive and nine others
constexpr const char* kLetters = "MDEFGHIJKL";

// Ten drive folders for the run, mounted as tmpfs when possible, removed at the end.
class BenchMachine {
public:
    BenchMachine() {
        char pattern[] = "/tmp/tarvellin-bench-XXXXXX";
        if (const char* made = mkdtemp(pattern)) {
            m_base = made;
        }
        for (int i = 0; i < kDrives; ++i) {
            const fs::path folder = m_base / ("drive" + std::to_string(i));
            fs::create_directories(folder);
            if (geteuid() == 0 && mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=16m") == 0) {
                m_mounted.push_back(folder);
            }
            fs::create_directories(folder / "status");
            m_folders[static_cast<std::size_t>(i)] = folder.string();
        }
        if (m_mounted.size() == kDrives) {
            m_where = "ten tmpfs mounts (size=16m)";
        } else {
            m_where = "folders of one filesystem under " + m_base.string() + " (not root: no mounts)";
        }
    }
    ~BenchMachine() {
        for (const fs::path& folder : m_mounted) {
            umount2(folder.c_str(), MNT_DETACH);
        }
        std::error_code error;
        fs::remove_all(m_base, error);
    }
    BenchMachine(const BenchMachine&) = delete;
    BenchMachine& operator=(const BenchMachine&) = delete;

    const std::string& Folder(int i) const { return m_folders[static_cast<std::size_t>(i)]; }
    const std::string& Where() const { return m_where; }

    // The settings file of the run: every drive on, its status file in its own drive's folder.
    std::string SettingsText() const {
        std::string text = "[Setting]\nPath=\"" + Folder(0) +
                           "/status/\"\nDirectory=M\nOtherDrive=1\nDirectory2=" + std::string(kLetters + 1) + "\n";
        for (int k = 1; k < kDrives; ++k) {
            text += "Path" + std::to_string(k + 1) + "=\"" + Folder(k) + "/status/\"\n";
        }
        text += "[Drives]\n";
        for (int i = 0; i < kDrives; ++i) {
            text += std::string(1, kLetters[i]) + "=" + Folder(i) + "\n";
        }
        return text;
    }

private:
    fs::path m_base;
    std::array<std::string, kDrives> m_folders;
    std::vector<fs::path> m_mounted;
    std::string m_where;
};

BenchMachine& Machine() {
    static BenchMachine machine;
    return machine;
}

void RunRefreshCycles(benchmark::State& state, Platform& platform) {
    BenchMachine& machine = Machine();
    const std::string configuration = machine.Folder(0) + "/tarvellin.ini";
    std::ofstream(configuration, std::ios::binary) << machine.SettingsText();
    Monitor monitor(platform, configuration);
    monitor.LoadSettings();
    monitor.RefreshCycle(); // the first cycle creates the status files
    for (auto _ : state) {
        monitor.RefreshCycle();
    }
    if (monitor.Settings().Directory2 != std::string(kLetters + 1)) {
        state.SkipWithError("the other drives were not all measured");
    }
}

void RefreshCycle(benchmark::State& state) {
    PosixPlatform platform;
    RunRefreshCycles(state, platform);
}

// As the program runs it: every drive query and file operation handed to the drive's or folder's worker.
void GuardedRefreshCycle(benchmark::State& state) {
    GuardedPlatform platform([] { return std::make_unique<PosixPlatform>(); });
    RunRefreshCycles(state, platform);
}

// A history file holding a week of ten drives' samples, one a minute, read by a log; Next() takes the samples of
// the next minute.
class WeekOfHistory {
public:
    explicit WeekOfHistory(Platform& platform)
        : m_path(Machine().Folder(0) + "/tarvellin.history"), m_log(platform, m_path), m_samples(kDrives) {
        std::ofstream week(m_path, std::ios::binary | std::ios::trunc);
        week << EncodeHistoryHeader();
        for (int minute = 0; minute < 7 * 1440; ++minute) {
            for (const HistorySample& sample : Next()) {
                week << EncodeHistorySample(sample);
            }
        }
    }
    ~WeekOfHistory() {
        std::error_code error;
        fs::remove(m_path, error);
    }
    WeekOfHistory(const WeekOfHistory&) = delete;
    WeekOfHistory& operator=(const WeekOfHistory&) = delete;

    const std::vector<HistorySample>& Next() {
        m_now += 60;
        for (int i = 0; i < kDrives; ++i) {
            // A slow fill with a wobble, so the fit has work to do.
            const std::uint64_t free = (100ull << 30) - static_cast<std::uint64_t>(m_now % 100'000) * 4096 -
                                       static_cast<std::uint64_t>((m_now / 60 * 7919) % 97) * (1u << 20);
            m_samples[static_cast<std::size_t>(i)] = {m_now, kLetters[i], 500ull << 30, free};
        }
        return m_samples;
    }
    bool Append() { return !m_log.Append(Next(), kMaxHistoryDays, m_now); }
    std::int64_t Now() const { return m_now; }
    const HistoryLog& Log() const { return m_log; }

private:
    std::string m_path;
    HistoryLog m_log;
    std::vector<HistorySample> m_samples;
    std::int64_t m_now = 1'800'000'000;
};

// The guarded refresh cycle followed by the history's minute: ten samples appended (through the workers) to a
// history file that holds a week of samples already.
void GuardedRefreshWithHistory(benchmark::State& state) {
    GuardedPlatform platform([] { return std::make_unique<PosixPlatform>(); });
    BenchMachine& machine = Machine();
    const std::string configuration = machine.Folder(0) + "/tarvellin.ini";
    std::ofstream(configuration, std::ios::binary) << machine.SettingsText();
    WeekOfHistory history(platform);
    Monitor monitor(platform, configuration);
    monitor.LoadSettings();
    monitor.RefreshCycle();
    if (!history.Append()) {
        state.SkipWithError("the history file cannot be written");
    }
    for (auto _ : state) {
        monitor.RefreshCycle();
        benchmark::DoNotOptimize(history.Append());
    }
}

// The forecasts of ten drives from a week of samples each (a day's and a week's fit per drive).
void ForecastTenDrives(benchmark::State& state) {
    PosixPlatform platform;
    WeekOfHistory history(platform);
    if (!history.Append()) {
        state.SkipWithError("the history file cannot be written");
    }
    for (auto _ : state) {
        for (int i = 0; i < kDrives; ++i) {
            benchmark::DoNotOptimize(ForecastOf(history.Log().Recent(kLetters[i]), history.Now()));
        }
    }
}

// One file operation handed to its folder's worker and answered: what each operation of a cycle adds.
void GuardedRoundTrip(benchmark::State& state) {
    GuardedPlatform platform([] { return std::make_unique<PosixPlatform>(); });
    const std::string path = Machine().Folder(0) + "/tarvellin.ini";
    for (auto _ : state) {
        benchmark::DoNotOptimize(platform.FileExists(path));
    }
}

void Floor(benchmark::State& state) {
    BenchMachine& machine = Machine();
    const std::string configuration = machine.Folder(0) + "/floor.ini";
    const std::string temporary = machine.Folder(0) + "/.floor.ini.tmp";
    std::string content = machine.SettingsText();
    content.resize(1200, '\n'); // about the size of a saved settings file
    std::array<std::array<std::string, 2>, kDrives> names;
    for (int i = 0; i < kDrives; ++i) {
        names[static_cast<std::size_t>(i)] = {machine.Folder(i) + "/status/floor-a",
                                              machine.Folder(i) + "/status/floor-b"};
        std::ofstream(names[static_cast<std::size_t>(i)][0]).flush();
    }
    int flip = 0;
    for (auto _ : state) {
        for (int i = 0; i < kDrives; ++i) {
            struct statvfs info {};
            benchmark::DoNotOptimize(statvfs(machine.Folder(i).c_str(), &info));
        }
        for (auto& pair : names) {
            benchmark::DoNotOptimize(
                rename(pair[static_cast<std::size_t>(flip)].c_str(), pair[static_cast<std::size_t>(1 - flip)].c_str()));
        }
        flip = 1 - flip;
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        benchmark::DoNotOptimize(write(fd, content.data(), content.size()));
        fsync(fd);
        close(fd);
        rename(temporary.c_str(), configuration.c_str());
    }
}

// The calls of the cycle's own rules done bare: a drive-type look (stat) per other drive, a capacity query
// per drive, per status file the truncating open (its name is unchanged, so there is nothing to rename), the
// settings file read, then written beside, flushed, renamed and its folder flushed.
void SameCallsBare(benchmark::State& state) {
    BenchMachine& machine = Machine();
    const std::string configuration = machine.Folder(0) + "/same.ini";
    const std::string temporary = machine.Folder(0) + "/.same.ini.tmp";
    std::string content = machine.SettingsText();
    content.resize(1200, '\n');
    std::ofstream(configuration, std::ios::binary) << content;
    std::array<std::string, kDrives> statusFiles;
    for (int i = 0; i < kDrives; ++i) {
        statusFiles[static_cast<std::size_t>(i)] = machine.Folder(i) + "/status/same";
        std::ofstream(statusFiles[static_cast<std::size_t>(i)]).flush();
    }
    std::string buffer(4096, '\0');
    for (auto _ : state) {
        for (int i = 0; i < kDrives; ++i) {
            struct statvfs info {};
            if (i > 0) {
                struct stat folder {};
                benchmark::DoNotOptimize(stat(machine.Folder(i).c_str(), &folder));
            }
            benchmark::DoNotOptimize(statvfs(machine.Folder(i).c_str(), &info));
        }
        for (const std::string& file : statusFiles) {
            close(open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        }
        int fd = open(configuration.c_str(), O_RDONLY | O_CLOEXEC);
        benchmark::DoNotOptimize(read(fd, buffer.data(), buffer.size()));
        close(fd);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        benchmark::DoNotOptimize(write(fd, content.data(), content.size()));
        fsync(fd);
        close(fd);
        rename(temporary.c_str(), configuration.c_str());
        fd = open(machine.Folder(0).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        fsync(fd);
        close(fd);
    }
}

BENCHMARK(RefreshCycle)->UseRealTime()->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(GuardedRefreshCycle)->UseRealTime()->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(GuardedRefreshWithHistory)->UseRealTime()->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(ForecastTenDrives)->UseRealTime()->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(GuardedRoundTrip)->UseRealTime()->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(Floor)->UseRealTime()->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(SameCallsBare)->UseRealTime()->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);

// Keeps the medians of the benchmarks for the closing ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double real = 0;
        double cpu = 0;
    };
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.aggregate_name == "median") {
                m_medians[run.run_name.function_name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Prints one comparison when both benchmarks ran.
    void PrintRatio(const std::string& name, const std::string& base, const char* goal) const {
        const auto a = m_medians.find(name);
        const auto b = m_medians.find(base);
        if (a == m_medians.end() || b == m_medians.end() || b->second.real <= 0 || b->second.cpu <= 0) {
            return;
        }
        std::printf("%s %.1f us (cpu %.1f us) / %s %.1f us (cpu %.1f us): ratio %.2f (cpu %.2f)%s\n", name.c_str(),
                    a->second.real / 1000.0, a->second.cpu / 1000.0, base.c_str(), b->second.real / 1000.0,
                    b->second.cpu / 1000.0, a->second.real / b->second.real, a->second.cpu / b->second.cpu, goal);
    }

private:
    std::map<std::string, Times> m_medians;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::cout << "drives: " << Machine().Where() << "\n";
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("RefreshCycle", "Floor", "  goal: at most 2.00");
    reporter.PrintRatio("RefreshCycle", "SameCallsBare", "");
    reporter.PrintRatio("GuardedRefreshCycle", "RefreshCycle", "  (what the workers cost per refresh)");
    reporter.PrintRatio("GuardedRefreshWithHistory", "GuardedRefreshCycle", "  goal: at most 1.10");
    reporter.PrintRatio("ForecastTenDrives", "GuardedRefreshCycle", "  (a forecast of every drive, per refresh)");
    benchmark::Shutdown();
    return 0;
}
