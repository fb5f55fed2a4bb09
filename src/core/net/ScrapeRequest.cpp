#include "core/net/ScrapeRequest.h"

#include "core/net/Request.h"

#include <utility>

namespace {

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

} // namespace

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
