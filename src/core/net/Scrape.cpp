#include "core/net/Scrape.h"

#include "core/capacity/CapacityReading.h"
#include "core/net/Request.h"
#include "platform/Utf8.h"

#include <array>
#include <cstdio>
#include <utility>

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

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view FirstLine(std::string_view text) {
    return text.substr(0, text.find('\n'));
}

// The endpoint and the password segment of a request line.
ScrapeEndpoint EndpointOf(std::string_view line, std::optional<std::string>* password) {
    if (!line.starts_with("GET /")) {
        return ScrapeEndpoint::None;
    }
    std::string_view target = line.substr(4);
    target = target.substr(0, target.find_first_of(" \r"));
    target = target.substr(0, target.find('?'));
    for (const auto& [name, endpoint] : {std::pair{std::string_view("/metrics"), ScrapeEndpoint::Metrics},
                                         std::pair{std::string_view("/status.json"), ScrapeEndpoint::StatusJson}}) {
        if (!target.starts_with(name)) {
            continue;
        }
        const std::string_view rest = target.substr(name.size());
        if (rest.empty() || rest == "/") {
            return endpoint;
        }
        if (rest.front() == '/') {
            if (password != nullptr) {
                *password = std::string(rest.substr(1));
            }
            return endpoint;
        }
    }
    return ScrapeEndpoint::None;
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

bool Exists(DriveType type) {
    return type != DriveType::Unknown && type != DriveType::NoRootDir;
}

std::string RootOf(const std::string& letter) {
    return letter + ":\\";
}

DriveSnapshot SnapshotOf(Platform& platform, const std::string& letter, const DriveAnswer& answer) {
    DriveSnapshot drive;
    drive.letter = letter;
    drive.type = answer.type;
    drive.path = platform.FolderOfRoot(RootOf(letter));
    if (answer.space) {
        drive.up = true;
        drive.space = *answer.space;
        const CapacityFigures figures = FiguresOf(*answer.space);
        drive.freePercent = FreePercent(figures.freeMB, figures.totalMB);
        drive.level = LevelOf(figures.totalMB, figures.freeMB);
    }
    drive.answeredInTime = answer.answeredInTime;
    return drive;
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

std::string HttpResponse(std::string_view status, std::string_view contentType, std::string_view body,
                         std::string_view extraHeaders = {}) {
    std::string headerLines(extraHeaders);
    headerLines.append("Content-Type: ").append(contentType).append("\r\n");
    return HttpHead(std::string("HTTP/1.1 ").append(status), headerLines, body.size()).append(body);
}

} // namespace

std::string_view AgentVersion() {
    return TARVELLIN_VERSION;
}

ScrapeRequest ParseScrapeRequest(std::string_view request) {
    ScrapeRequest parsed;
    std::string_view text = RequestText(request);
    parsed.endpoint = EndpointOf(Trimmed(FirstLine(text)), &parsed.pathPassword);
    if (parsed.endpoint == ScrapeEndpoint::None) {
        return parsed;
    }
    // The header lines, up to the empty line that ends the head.
    std::size_t lineStart = text.find('\n');
    while (lineStart != std::string_view::npos) {
        ++lineStart;
        const std::size_t lineEnd = text.find('\n', lineStart);
        std::string_view line =
            text.substr(lineStart, lineEnd == std::string_view::npos ? text.npos : lineEnd - lineStart);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            break;
        }
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && EqualsIgnoringCase(line.substr(0, colon), "Authorization")) {
            const std::string_view value = Trimmed(line.substr(colon + 1));
            constexpr std::string_view kScheme = "Bearer";
            if (value.size() > kScheme.size() && EqualsIgnoringCase(value.substr(0, kScheme.size()), kScheme) &&
                (value[kScheme.size()] == ' ' || value[kScheme.size()] == '\t')) {
                parsed.bearerPassword = std::string(Trimmed(value.substr(kScheme.size())));
            }
            // Only the first counts: further ones would be further guesses at the password in one request.
            break;
        }
        lineStart = lineEnd;
    }
    return parsed;
}

bool IsScrapeRequestLine(std::string_view request) {
    return EndpointOf(Trimmed(FirstLine(RequestText(request))), nullptr) != ScrapeEndpoint::None;
}

AgentSnapshot TakeSnapshot(Monitor& monitor) {
    Platform& platform = monitor.GetPlatform();
    const MonitorSettings& settings = monitor.Settings();
    AgentSnapshot snapshot;
    snapshot.version = std::string(AgentVersion());
    snapshot.startedAt = monitor.StartedAt();
    snapshot.refreshes = monitor.RefreshCounts();

    // The main drive, then the other drives the next refresh will watch: of the first nine letters those
    // that name an existing drive, each in the slot the letter filter will give it.
    const std::string mainLetter = settings.Directory.empty() ? platform.CurrentDriveLetter() : settings.Directory;
    std::vector<std::string> letters;
    if (!mainLetter.empty()) {
        letters.push_back(mainLetter);
    }
    const std::size_t firstOther = letters.size();
    if (settings.OtherDrive == 1) {
        for (std::size_t i = 0; i < settings.Directory2.size() && i < static_cast<std::size_t>(kDriveSlots); ++i) {
            letters.emplace_back(1, settings.Directory2[i]);
        }
    }
    std::vector<std::string> roots;
    for (const std::string& letter : letters) {
        roots.push_back(RootOf(letter));
    }
    const std::vector<DriveAnswer> answers = platform.QueryDrives(roots);

    if (!mainLetter.empty()) {
        DriveSnapshot drive = SnapshotOf(platform, mainLetter, answers[0]);
        drive.main = true;
        drive.statusFolder = settings.Path;
        drive.statusText = settings.Filename;
        drive.publishedAt = monitor.MainPublishedAt();
        snapshot.drives.push_back(std::move(drive));
    }
    std::size_t slot = 0;
    for (std::size_t i = firstOther; i < letters.size() && i < answers.size(); ++i) {
        DriveSnapshot drive = SnapshotOf(platform, letters[i], answers[i]);
        if (!Exists(drive.type)) {
            continue;
        }
        const DriveSlot& state = monitor.Slots()[slot];
        drive.statusFolder = settings.Path2To10[slot].empty() ? drive.path : settings.Path2To10[slot];
        drive.statusText = settings.Filename2To10[slot];
        drive.publishedAt = state.publishedAt;
        snapshot.drives.push_back(std::move(drive));
        ++slot;
    }
    return snapshot;
}

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

std::optional<std::string> ScrapeReply(std::string_view request, Monitor& monitor) {
    const MonitorSettings& settings = monitor.Settings();
    if (settings.HttpMetrics != 1) {
        return std::nullopt;
    }
    const ScrapeRequest scrape = ParseScrapeRequest(request);
    if (scrape.endpoint == ScrapeEndpoint::None) {
        return std::nullopt;
    }
    if (!settings.Pass.empty()) {
        const std::optional<std::string> pass = monitor.GetPlatform().AsRequestBytes(settings.Pass);
        const auto matches = [&pass](const std::optional<std::string>& given) {
            return given && pass && PasswordMatches(*given, *pass);
        };
        if (!matches(scrape.pathPassword) && !matches(scrape.bearerPassword)) {
            return HttpResponse("401 Unauthorized", "text/plain; charset=utf-8", "password required\n",
                                "WWW-Authenticate: Bearer realm=\"tarvellin\"\r\n");
        }
    }
    const AgentSnapshot snapshot = TakeSnapshot(monitor);
    if (scrape.endpoint == ScrapeEndpoint::Metrics) {
        return HttpResponse("200 OK", "text/plain; version=0.0.4; charset=utf-8", MetricsText(snapshot));
    }
    return HttpResponse("200 OK", "application/json", StatusJson(snapshot));
}
