#include "core/net/Scrape.h"

#include "core/capacity/Monitor.h"
#include "core/net/Request.h"

namespace {

std::string HttpResponse(std::string_view status, std::string_view contentType, std::string_view body,
                         std::string_view extraHeaders = {}) {
    std::string headerLines(extraHeaders);
    headerLines.append("Content-Type: ").append(contentType).append("\r\n");
    return HttpHead(std::string("HTTP/1.1 ").append(status), headerLines, body.size()).append(body);
}

} // namespace

std::optional<std::string> ScrapeReply(std::string_view request, const Monitor& monitor) {
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
