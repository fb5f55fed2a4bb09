// Parsing a settings file and applying the 33 writes of a save, as the refresh cycle does, for a typical
// file and for 16 MiB files (the largest the Linux platform reads): many tiny lines, and one huge line.

#include <benchmark/benchmark.h>

#include <string>

#include "core/settings/IniProfile.h"
#include "core/settings/SettingsStore.h"

namespace {

constexpr std::size_t kBound = 16u << 20;

MonitorSettings Sample() {
    MonitorSettings settings;
    settings.Path = "/srv/share/";
    settings.Filename = "空容量123456 MByte";
    settings.Directory = "C";
    settings.Directory2 = "DEF";
    for (std::size_t k = 0; k < 3; ++k) {
        settings.Path2To10[k] = "/srv/share" + std::to_string(k + 2) + "/";
        settings.Filename2To10[k] = "空容量42 MByte";
    }
    return settings;
}

void Save(benchmark::State& state, const std::string& text) {
    const MonitorSettings settings = Sample();
    for (auto _ : state) {
        IniProfile ini(text);
        WriteMonitorSettings(ini, settings);
        const MonitorSettings loaded = ReadMonitorSettings(ini);
        std::string written = ini.Text();
        benchmark::DoNotOptimize(written);
        benchmark::DoNotOptimize(loaded);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

void BM_SaveTypicalFile(benchmark::State& state) {
    IniProfile seed;
    WriteMonitorSettings(seed, Sample());
    seed.WriteProfileString("Drives", "C", "\"/\"");
    seed.WriteProfileString("Drives", "D", "\"/mnt/data\"");
    Save(state, seed.Text());
}

void BM_SaveFileOfTinyLines(benchmark::State& state) {
    Save(state, "[Setting]\n" + std::string(kBound - 10, '\n'));
}

void BM_SaveFileWithOneHugeLine(benchmark::State& state) {
    Save(state, "[Setting]\nPass=" + std::string(kBound - 15, 'x') + "\n");
}

} // namespace

BENCHMARK(BM_SaveTypicalFile);
BENCHMARK(BM_SaveFileOfTinyLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveFileWithOneHugeLine)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
