// The history file from any content: read, appended to, and its recent samples fitted.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "MemoryPlatform.h"
#include "core/history/HistoryLog.h"
#include "core/history/Trend.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    // The first byte says how to read the rest: bit 0, behind a valid header; bit 1, as the fields of samples
    // (time, letter, total and free, 25 bytes each) sealed into records, so that the fit meets any values and
    // not only the rare record whose checksum a mutation happens to match.
    const int mode = content.empty() ? 0 : static_cast<unsigned char>(content[0]);
    if ((mode & 2) != 0) {
        std::string records;
        const auto field = [&content](std::size_t at) {
            std::uint64_t value = 0;
            std::memcpy(&value, content.data() + at, sizeof value);
            return value;
        };
        for (std::size_t at = 1; at + 25 <= content.size(); at += 25) {
            records += EncodeHistorySample(
                {static_cast<std::int64_t>(field(at)), content[at + 8], field(at + 9), field(at + 17)});
        }
        content = records;
    } else if (!content.empty()) {
        content.erase(0, 1);
    }
    if ((mode & 1) != 0) {
        content = EncodeHistoryHeader() + content;
    }
    MemoryPlatform platform;
    platform.files["tarvellin.history"] = content;
    HistoryLog log(platform, "tarvellin.history");
    constexpr std::int64_t kNow = 1700000000;
    log.Append({{kNow, 'C', 1000ull << 20, 500ull << 20}}, 400, kNow);

    // Either the file was left alone (not ours), or it is whole records behind the header, the new one last.
    const std::string& after = platform.files["tarvellin.history"];
    if (after != content &&
        (after.size() % kHistoryRecordBytes != 0 ||
         !DecodeHistorySample(std::string_view(after).substr(after.size() - kHistoryRecordBytes)))) {
        __builtin_trap();
    }
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const DriveForecast forecast = ForecastOf(log.Recent(letter), kNow);
        const Trend* shown = forecast.Shown();
        if (shown != nullptr && shown->fullIn && (shown->fullIn->seconds < 0 || shown->fullIn->lowSeconds < 0)) {
            __builtin_trap();
        }
    }
    return 0;
}
