#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/capacity/Monitor.h"

// The read-only endpoints of the command port ([Http] Metrics=1): /metrics in the Prometheus text
// exposition format 0.0.4 and /status.json, for the main drive and every other drive. A scrape measures
// through the platform and answers; it never runs a refresh cycle, publishes a status file or saves.

// One drive as a scrape found it.
struct DriveSnapshot {
    std::string letter;
    bool main = false;        // the main drive (role "main"), otherwise one of the other drives
    std::string path;         // the drive's folder (its root on Windows)
    std::string statusFolder; // folder of its status file
    DriveType type = DriveType::Unknown;
    bool up = false;              // the capacity query answered with figures
    bool answeredInTime = true;   // false when the drive did not answer within the time bound
    VolumeSpace space;            // when up
    int freePercent = 0;          // when up, of the whole MB figures as the tray shows it
    int level = 0;                // when up
    std::string statusText;       // the name last given to its status file
    std::int64_t publishedAt = 0; // Unix seconds; 0 when not published in this run
};

// The agent and its drives at one moment.
struct AgentSnapshot {
    std::string version;
    std::int64_t startedAt = 0;
    std::array<std::uint64_t, kRefreshTriggers> refreshes{};
    std::vector<DriveSnapshot> drives;
};

// The endpoint a request line names; None for every other request.
enum class ScrapeEndpoint { None, Metrics, StatusJson };

// What a scrape request asks and with which credentials.
struct ScrapeRequest {
    ScrapeEndpoint endpoint = ScrapeEndpoint::None;
    std::optional<std::string> pathPassword;   // "/metrics/<password>"
    std::optional<std::string> bearerPassword; // "Authorization: Bearer <password>"
};

// Version of this program.
std::string_view AgentVersion();

// The endpoint and credentials of a request: GET /metrics or /status.json, optionally followed by
// "/<password>" and a query, and its first Authorization header (any later one is ignored). endpoint None when
// the request is anything else.
ScrapeRequest ParseScrapeRequest(std::string_view request);
// True when a request's first line is a scrape request (its head is then read to its end, for the
// Authorization header); an incomplete first line is judged on what has come.
bool IsScrapeRequestLine(std::string_view request);

// Measures the main drive and, when OtherDrive is 1, every other drive that exists, through the platform, all
// in one batch; a drive that does not answer within the platform's bound is not up. Changes nothing.
AgentSnapshot TakeSnapshot(Monitor& monitor);

// The snapshot in the Prometheus text exposition format 0.0.4 (UTF-8).
std::string MetricsText(const AgentSnapshot& snapshot);
// The snapshot as one JSON document (UTF-8).
std::string StatusJson(const AgentSnapshot& snapshot);

// The value of a label in the exposition format: '\', '"' and line feeds escaped, invalid UTF-8 replaced.
std::string EscapeLabelValue(std::string_view text);
// A JSON string literal with its quotes: escaped as RFC 8259 asks, invalid UTF-8 replaced, other characters
// as UTF-8.
std::string JsonString(std::string_view text);

// The complete HTTP/1.1 response to a scrape while [Http] Metrics is 1: 200 with the document, or 401 when
// a password is set and the request gives another one (or none); nullopt when the request is no scrape or
// Metrics is not 1.
std::optional<std::string> ScrapeReply(std::string_view request, Monitor& monitor);
