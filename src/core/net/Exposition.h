#pragma once

#include <string>
#include <string_view>

#include "core/net/AgentSnapshot.h"

// The snapshot in the Prometheus text exposition format 0.0.4 (UTF-8).
std::string MetricsText(const AgentSnapshot& snapshot);
// The snapshot as one JSON document (UTF-8).
std::string StatusJson(const AgentSnapshot& snapshot);

// The value of a label in the exposition format: '\', '"' and line feeds escaped, invalid UTF-8 replaced.
std::string EscapeLabelValue(std::string_view text);
// A JSON string literal with its quotes: escaped as RFC 8259 asks, invalid UTF-8 replaced, other characters
// as UTF-8.
std::string JsonString(std::string_view text);
