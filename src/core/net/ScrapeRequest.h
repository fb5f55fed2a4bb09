#pragma once

#include <optional>
#include <string>
#include <string_view>

// The endpoint a request line names; None for every other request.
enum class ScrapeEndpoint { None, Metrics, StatusJson };

// What a scrape request asks and with which credentials.
struct ScrapeRequest {
    ScrapeEndpoint endpoint = ScrapeEndpoint::None;
    std::optional<std::string> pathPassword;   // "/metrics/<password>"
    std::optional<std::string> bearerPassword; // "Authorization: Bearer <password>"
};

// The endpoint and credentials of a request: GET /metrics or /status.json, optionally followed by
// "/<password>" and a query, and its first Authorization header (any later one is ignored). endpoint None when
// the request is anything else.
ScrapeRequest ParseScrapeRequest(std::string_view request);
// True when a request's first line is a scrape request (its head is then read to its end, for the
// Authorization header); an incomplete first line is judged on what has come.
bool IsScrapeRequestLine(std::string_view request);
