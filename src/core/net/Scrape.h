#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/net/AgentSnapshot.h"
#include "core/net/Exposition.h"
#include "core/net/ScrapeRequest.h"

class Monitor;

// The read-only endpoints of the command port ([Http] Metrics=1): /metrics in the Prometheus text
// exposition format 0.0.4 and /status.json, for the main drive and every other drive. A scrape reads the
// request (ScrapeRequest), measures through the platform (AgentSnapshot) and answers in one of the formats
// (Exposition); it never runs a refresh cycle, publishes a status file or saves.

// The complete HTTP/1.1 response to a scrape while [Http] Metrics is 1: 200 with the document, or 401 when
// a password is set and the request gives another one (or none); nullopt when the request is no scrape or
// Metrics is not 1.
std::optional<std::string> ScrapeReply(std::string_view request, const Monitor& monitor);
