// The request path on any bytes: parser, decision and reply text, and the scrape endpoints with their
// escaping, on a machine held in memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "MemoryPlatform.h"
#include "core/capacity/Monitor.h"
#include "core/net/Request.h"
#include "core/net/Scrape.h"
#include "platform/Utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 2048) {
        return 0;
    }
    const std::string_view received(reinterpret_cast<const char*>(data), size);

    MemoryPlatform platform;
    Monitor monitor(platform, "tarvellin.ini");
    MonitorSettings& settings = monitor.Settings();
    // The first bytes choose the settings, so every rule is reached.
    const std::uint8_t choice = size > 0 ? data[0] : 0;
    settings.NetKoushin = choice & 1;
    settings.EnbChange = (choice >> 1) & 1;
    settings.GByte = (choice >> 2) & 1;
    settings.HttpHeaders = (choice >> 3) & 1;
    settings.Pass = (choice >> 4) & 1 ? "HTTP" : "";
    settings.Directory = (choice >> 5) & 1 ? "C" : "";
    settings.HttpMetrics = (choice >> 6) & 1;

    const RequestFields fields = ParsePath(received.size() > 5 ? received.substr(5) : std::string_view{});
    if (!fields.overlong && (fields.command.size() > 99 || fields.value.size() > 99 || fields.password.size() > 99)) {
        __builtin_trap();
    }

    const ReplyKind kind = DecideRequest(received, settings);
    const std::string reply = ReplyText(kind, monitor);
    if (reply.empty() || (reply.find('\n') != std::string::npos && settings.HttpHeaders != 1)) {
        __builtin_trap();
    }
    if (kind == ReplyKind::NotFound && settings.HttpHeaders != 1 && reply != kNotFoundLine) {
        __builtin_trap();
    }

    const std::optional<std::string> scrape = ScrapeReply(received, monitor);
    if (scrape && (settings.HttpMetrics != 1 || !scrape->starts_with("HTTP/1.1 "))) {
        __builtin_trap();
    }
    // Escaped texts are whole UTF-8; a label holds no raw line feed, a JSON string no control character.
    const std::string label = EscapeLabelValue(received);
    const std::string json = JsonString(received);
    for (const std::string* escaped : {&label, &json}) {
        for (std::size_t at = 0; at < escaped->size();) {
            const std::size_t length = Utf8SequenceLength(std::string_view(*escaped).substr(at));
            const auto lead = static_cast<unsigned char>((*escaped)[at]);
            if (length == 0 || (escaped == &json && lead < 0x20) || (escaped == &label && lead == '\n')) {
                __builtin_trap();
            }
            at += length;
        }
    }
    return 0;
}
