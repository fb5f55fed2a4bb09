// The settings load from any file content, then saves and loads of what was saved.
#include <cstddef>
#include <cstdint>
#include <string>

#include "MemoryPlatform.h"
#include "core/capacity/Monitor.h"

namespace {

MonitorSettings LoadAndSave(MemoryPlatform& platform) {
    Monitor monitor(platform, "tarvellin.ini");
    monitor.LoadSettings([](int, const std::string&) {});
    monitor.SaveSettings();
    return monitor.Settings();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryPlatform platform;
    platform.files["tarvellin.ini"] = std::string(reinterpret_cast<const char*>(data), size);

    // The first load takes the file as it comes (a folder value that opens a quote without closing it
    // loses its text at the next load, as the quote stripping defines); from the first save on, a file
    // written by us reads back to the same settings.
    LoadAndSave(platform);
    const MonitorSettings saved = LoadAndSave(platform);
    const MonitorSettings reloaded = LoadAndSave(platform);
    if (!(saved == reloaded)) {
        __builtin_trap();
    }
    return 0;
}
