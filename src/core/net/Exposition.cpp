#include "core/net/Exposition.h"

#include "core/capacity/CapacityReading.h"
#include "platform/Utf8.h"

#include <array>
#include <cstdio>
#include <optional>

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Copies text into out with escape(c) for each ASCII character it wants escaped (empty: as it is), and
// U+FFFD for each byte that starts no valid UTF-8 sequence.
template <typename Escape> void AppendEscaped(std::string& out, std::string_view text, Escape escape) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = Utf8SequenceLength(text.substr(at));
        if (length == 0) {
            out += kReplacementCharacter;
            ++at;
        } else if (length == 1) {
            const std::string_view escaped = escape(text[at]);
            if (escaped.empty()) {
                out += text[at];
            } else {
                out += escaped;
            }
            ++at;
        } else {
            out += text.substr(at, length);
            at += length;
        }
    }
}

std::string_view TypeName(DriveType type) {
    switch (type) {
    case DriveType::Removable:
        return "removable";
    case DriveType::Fixed:
        return "fixed";
    case DriveType::Remote:
        return "remote";
    case DriveType::CdRom:
        return "cdrom";
    case DriveType::RamDisk:
        return "ramdisk";
    case DriveType::NoRootDir:
        return "no_root_dir";
    case DriveType::Unknown:
        break;
    }
    return "unknown";
}

std::string Labels(const DriveSnapshot& drive) {
    return "{letter=\"" + EscapeLabelValue(drive.letter) + "\",path=\"" + EscapeLabelValue(drive.path) + "\",role=\"" +
           (drive.main ? "main" : "other") + "\"}";
}

void AppendFamily(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
    out.append("# HELP ").append(name).append(" ").append(help).append("\n");
    out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

// One sample per drive, of the drives that are up unless all is set.
template <typename Value>
void AppendDriveSamples(std::string& out, const AgentSnapshot& snapshot, std::string_view name, bool all, Value value) {
    for (const DriveSnapshot& drive : snapshot.drives) {
        if (all || drive.up) {
            out.append(name).append(Labels(drive)).append(" ").append(std::to_string(value(drive))).append("\n");
        }
    }
}

// The family with one sample per drive that value gives one for; nothing at all when none does, so that the
// opt-in families leave the default document as it is.
template <typename Value>
void AppendOptionalFamily(std::string& out, const AgentSnapshot& snapshot, std::string_view name, std::string_view help,
                          Value value) {
    std::string samples;
    for (const DriveSnapshot& drive : snapshot.drives) {
        if (const std::optional<std::int64_t> sample = value(drive)) {
            samples.append(name).append(Labels(drive)).append(" ").append(std::to_string(*sample)).append("\n");
        }
    }
    if (!samples.empty()) {
        AppendFamily(out, name, "gauge", help);
        out += samples;
    }
}

std::string_view LimitStateName(int state) {
    switch (state) {
    case 1:
        return "low";
    case 2:
        return "full_within_24h";
    default:
        return "ok";
    }
}

std::string_view TriggerName(std::size_t trigger) {
    switch (static_cast<RefreshTrigger>(trigger)) {
    case RefreshTrigger::Auto:
        return "auto";
    case RefreshTrigger::Dialog:
        return "dialog";
    case RefreshTrigger::Network:
        return "network";
    }
    return "unknown";
}

std::string JsonBool(bool value) {
    return value ? "true" : "false";
}

} // namespace

std::string MetricsText(const AgentSnapshot& snapshot) {
    std::string out;
    AppendFamily(out, "tarvellin_drive_up", "gauge",
                 "1 when the drive's capacity query answered with figures, 0 when it failed or did not answer in "
                 "time.");
    AppendDriveSamples(out, snapshot, "tarvellin_drive_up", true, [](const DriveSnapshot& d) { return d.up ? 1 : 0; });
    AppendFamily(out, "tarvellin_drive_total_bytes", "gauge", "Size of the drive's filesystem in bytes.");
    AppendDriveSamples(out, snapshot, "tarvellin_drive_total_bytes", false,
                       [](const DriveSnapshot& d) { return d.space.totalBytes; });
    AppendFamily(out, "tarvellin_drive_free_bytes", "gauge",
                 "Free bytes of the drive's filesystem, including those reserved for the superuser.");
    AppendDriveSamples(out, snapshot, "tarvellin_drive_free_bytes", false,
                       [](const DriveSnapshot& d) { return d.space.freeBytes; });
    AppendFamily(out, "tarvellin_drive_level", "gauge", "Fill level the tray picture shows, 0 (full) to 7.");
    AppendDriveSamples(out, snapshot, "tarvellin_drive_level", false, [](const DriveSnapshot& d) { return d.level; });
    AppendOptionalFamily(
        out, snapshot, "tarvellin_drive_trend_bytes_per_day",
        "Fitted change of the drive's free bytes per day (negative while it fills).",
        [&snapshot](const DriveSnapshot& d) { return snapshot.historyOn ? d.outlook.trendBytesPerDay : std::nullopt; });
    AppendOptionalFamily(
        out, snapshot, "tarvellin_drive_full_in_seconds",
        "Seconds until the drive is expected to be full, when its trend clearly falls.",
        [&snapshot](const DriveSnapshot& d) { return snapshot.historyOn ? d.outlook.fullInSeconds : std::nullopt; });
    AppendOptionalFamily(out, snapshot, "tarvellin_drive_limit_state",
                         "State of the drive against its limit: 0 ok, 1 low, 2 full within 24 hours.",
                         [](const DriveSnapshot& d) {
                             return d.hasLimit ? std::optional<std::int64_t>(d.outlook.limitState) : std::nullopt;
                         });

    AppendFamily(out, "tarvellin_refreshes_total", "counter", "Refresh cycles run since the start, by trigger.");
    for (std::size_t trigger = 0; trigger < snapshot.refreshes.size(); ++trigger) {
        out.append("tarvellin_refreshes_total{trigger=\"").append(TriggerName(trigger)).append("\"} ");
        out.append(std::to_string(snapshot.refreshes[trigger])).append("\n");
    }
    AppendFamily(out, "tarvellin_build_info", "gauge", "The agent's version, as a label; always 1.");
    out.append("tarvellin_build_info{version=\"").append(EscapeLabelValue(snapshot.version)).append("\"} 1\n");
    AppendFamily(out, "tarvellin_start_time_seconds", "gauge",
                 "Start time of the agent since the Unix epoch in seconds.");
    out.append("tarvellin_start_time_seconds ").append(std::to_string(snapshot.startedAt)).append("\n");
    return out;
}

std::string StatusJson(const AgentSnapshot& snapshot) {
    std::string out = "{\"version\":" + JsonString(snapshot.version);
    out += ",\"start_time\":" + std::to_string(snapshot.startedAt);
    out += ",\"refreshes\":{";
    for (std::size_t trigger = 0; trigger < snapshot.refreshes.size(); ++trigger) {
        out += trigger == 0 ? "" : ",";
        out += JsonString(TriggerName(trigger)) + ":" + std::to_string(snapshot.refreshes[trigger]);
    }
    out += "},\"drives\":[";
    bool first = true;
    for (const DriveSnapshot& drive : snapshot.drives) {
        out += first ? "{" : ",{";
        first = false;
        out += "\"letter\":" + JsonString(drive.letter);
        out += ",\"role\":" + JsonString(drive.main ? "main" : "other");
        out += ",\"path\":" + JsonString(drive.path);
        out += ",\"type\":" + JsonString(TypeName(drive.type));
        out += ",\"type_text\":" + JsonString(DriveTypeText(drive.type));
        out += ",\"up\":" + JsonBool(drive.up);
        out += ",\"answered_in_time\":" + JsonBool(drive.answeredInTime);
        out += ",\"total_bytes\":" + (drive.up ? std::to_string(drive.space.totalBytes) : "null");
        out += ",\"free_bytes\":" + (drive.up ? std::to_string(drive.space.freeBytes) : "null");
        out += ",\"free_percent\":" + (drive.up ? std::to_string(drive.freePercent) : "null");
        out += ",\"level\":" + (drive.up ? std::to_string(drive.level) : "null");
        out += ",\"status_folder\":" + JsonString(drive.statusFolder);
        out += ",\"status_text\":" + JsonString(drive.statusText);
        out += ",\"published_time\":" + (drive.publishedAt != 0 ? std::to_string(drive.publishedAt) : "null");
        if (snapshot.historyOn) {
            const DriveOutlook& outlook = drive.outlook;
            out += ",\"trend_bytes_per_day\":" +
                   (outlook.trendBytesPerDay ? std::to_string(*outlook.trendBytesPerDay) : "null");
            out += ",\"full_in_seconds\":" + (outlook.fullInSeconds ? std::to_string(*outlook.fullInSeconds) : "null");
            out += ",\"full_in_range_seconds\":" + (outlook.fullInSeconds
                                                        ? "[" + std::to_string(outlook.fullInLowSeconds) + "," +
                                                              std::to_string(outlook.fullInHighSeconds) + "]"
                                                        : std::string("null"));
        }
        if (drive.hasLimit) {
            out += ",\"limit_state\":" + JsonString(LimitStateName(drive.outlook.limitState));
        }
        out += "}";
    }
    out += "]}\n";
    return out;
}

std::string EscapeLabelValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscaped(out, text, [](char c) -> std::string_view {
        switch (c) {
        case '\\':
            return "\\\\";
        case '"':
            return "\\\"";
        case '\n':
            return "\\n";
        default:
            return {};
        }
    });
    return out;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    std::array<char, 8> control{};
    AppendEscaped(out, text, [&control](char c) -> std::string_view {
        switch (c) {
        case '"':
            return "\\\"";
        case '\\':
            return "\\\\";
        case '\b':
            return "\\b";
        case '\f':
            return "\\f";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        default:
            break;
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            std::snprintf(control.data(), control.size(), "\\u%04x", static_cast<unsigned>(c));
            return {control.data(), 6};
        }
        return {};
    });
    out += '"';
    return out;
}
