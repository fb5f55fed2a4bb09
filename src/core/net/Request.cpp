#include "core/net/Request.h"

#include <array>

#include "core/capacity/CapacityReading.h"
#include "core/capacity/Monitor.h"
#include "core/settings/MonitorSettings.h"

namespace {

constexpr std::size_t kMaxFieldBytes = kRequestFieldSize - 1;

// The settings commands a request may name; none of them ever changes a setting.
constexpr std::array<std::string_view, 8> kSettingCommands = {"Pass",      "Auto",    "Time",   "GByte",
                                                              "Directory", "Keikoku", "Nokori", "Path"};

bool EndsSegment(char c) {
    return c == ' ' || c == '/';
}

// Stores a piece into a field, or marks the fields overlong when it would not fit 100 bytes.
void StoreField(std::string& field, std::string_view piece, bool& overlong) {
    if (piece.size() > kMaxFieldBytes) {
        overlong = true;
        field.clear();
        return;
    }
    field.assign(piece);
}

} // namespace

std::string HttpHead(std::string_view statusLine, std::string_view headerLines, std::size_t contentLength) {
    std::string head(statusLine);
    head += "\r\n";
    head += headerLines;
    head += "Content-Length: ";
    head += std::to_string(contentLength);
    head += "\r\nConnection: close\r\n\r\n";
    return head;
}

std::string_view RequestText(std::string_view received) {
    if (received.size() > kMaxRequestBytes) {
        received = received.substr(0, kMaxRequestBytes);
    }
    // A NUL among the received bytes ends the text, as the received text is NUL-terminated.
    const auto nul = received.find('\0');
    return nul == std::string_view::npos ? received : received.substr(0, nul);
}

bool IsGetMethod(std::string_view text) {
    return text.size() >= 3 && text.substr(0, 3) == "GET";
}

RequestFields ParsePath(std::string_view path) {
    RequestFields fields;
    const std::size_t size = path.size();
    if (size == 0 || EndsSegment(path[0])) {
        return fields;
    }

    // First segment: each "=" ends a command; the byte right after an "=" always belongs to the value.
    std::size_t pieceStart = 0;
    bool sawEquals = false;
    std::size_t at = 0;
    while (at < size && !EndsSegment(path[at])) {
        if (path[at] == '=') {
            StoreField(fields.command, path.substr(pieceStart, at - pieceStart), fields.overlong);
            sawEquals = true;
            pieceStart = at + 1;
            at = at + 1 < size ? at + 2 : at + 1;
            continue;
        }
        ++at;
    }
    const std::size_t segmentEnd = at < size ? at : size;
    const std::string_view lastPiece = path.substr(pieceStart, segmentEnd - pieceStart);
    if (sawEquals) {
        StoreField(fields.value, lastPiece, fields.overlong);
    } else {
        StoreField(fields.command, lastPiece, fields.overlong);
    }
    if (at >= size) {
        return fields;
    }

    // Second segment: right after the byte that ended the first, up to the next space or "/".
    const std::size_t passwordStart = at + 1;
    std::size_t passwordEnd = passwordStart;
    while (passwordEnd < size && !EndsSegment(path[passwordEnd])) {
        ++passwordEnd;
    }
    if (passwordStart < size) {
        StoreField(fields.password, path.substr(passwordStart, passwordEnd - passwordStart), fields.overlong);
    }
    return fields;
}

bool PasswordMatches(std::string_view given, std::string_view pass) {
    // Every byte position of the longer text is compared, so no content shortens the comparison.
    const std::size_t length = given.size() > pass.size() ? given.size() : pass.size();
    unsigned difference = given.size() == pass.size() ? 0U : 1U;
    for (std::size_t i = 0; i < length; ++i) {
        const auto a = static_cast<unsigned char>(i < given.size() ? given[i] : 0);
        const auto b = static_cast<unsigned char>(i < pass.size() ? pass[i] : 0);
        difference |= static_cast<unsigned>(a ^ b);
    }
    return difference == 0;
}

ReplyKind DecideRequest(std::string_view received, const MonitorSettings& settings) {
    return DecideRequest(received, settings, settings.Pass);
}

ReplyKind DecideRequest(std::string_view received, const MonitorSettings& settings,
                        const std::optional<std::string>& passAsSent) {
    const std::string_view text = RequestText(received);
    if (!IsGetMethod(text)) {
        return ReplyKind::NotFound;
    }
    // The fourth and fifth bytes (normally " /") are not examined.
    const RequestFields fields = ParsePath(text.size() > 5 ? text.substr(5) : std::string_view{});
    if (fields.overlong) {
        return ReplyKind::NotFound;
    }

    // No command: an update when NetKoushin allows refreshing without one; the password is not consulted.
    if (fields.command.empty()) {
        return settings.NetKoushin == 1 ? ReplyKind::UpdateAccepted : ReplyKind::NotFound;
    }
    // Every command needs an accepted password when one is set.
    if (!settings.Pass.empty() && !(passAsSent && PasswordMatches(fields.password, *passAsSent))) {
        return ReplyKind::NotFound;
    }
    // "renew" asks for an update, whatever its value.
    if (fields.command == "renew") {
        return ReplyKind::UpdateAccepted;
    }
    // A settings command is refused even where EnbChange allows it: nothing is ever changed over the network.
    for (const std::string_view name : kSettingCommands) {
        if (fields.command == name && !fields.value.empty() && settings.EnbChange == 1) {
            return ReplyKind::NotFound;
        }
    }
    // A request that matches no rule gets the same reply as a refused one.
    return ReplyKind::NotFound;
}

std::string StatusPage(std::string_view head, const Monitor& monitor) {
    const MonitorSettings& settings = monitor.Settings();
    const CapacityReading& reading = monitor.Reading();
    std::string page(head);
    page += reading.usedText;
    page += "<BR>";
    page += reading.totalText;
    page += "<BR>";
    page += reading.freeText;
    page += "<BR>";
    page += settings.Directory;
    page += "ドライブ空容量";
    page += FreePercentText(reading.freeMB, reading.totalMB);
    page += "%<BR></body></html>";
    return monitor.GetPlatform().ToCodePage932(page);
}

bool ReadsRequests(const MonitorSettings& settings) {
    return settings.NetWork == 1 || settings.HttpMetrics == 1;
}

bool ReadsScrapes(const MonitorSettings& settings) {
    return settings.HttpMetrics == 1;
}

std::string ReplyText(ReplyKind kind, Monitor& monitor) {
    if (kind == ReplyKind::UpdateAccepted) {
        monitor.RefreshCycle(RefreshTrigger::Network);
    }
    return ComposeReply(kind, monitor);
}

std::string ComposeReply(ReplyKind kind, const Monitor& monitor) {
    const bool withHeaders = monitor.Settings().HttpHeaders == 1;
    if (kind == ReplyKind::UpdateAccepted) {
        std::string page = StatusPage(kUpdateAcceptedHead, monitor);
        if (!withHeaders) {
            return page;
        }
        return HttpHead("HTTP/1.1 200 OK", "Content-Type: text/html; charset=Shift_JIS\r\n", page.size()) + page;
    }
    if (!withHeaders) {
        return std::string(kNotFoundLine);
    }
    return HttpHead(kNotFoundLine, {}, 0);
}
