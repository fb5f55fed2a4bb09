#pragma once

#include <string>
#include <string_view>

class Monitor;

// The reply to a complete request: a scrape's while [Http] Metrics is 1, otherwise decided from its text while NetWork
// is 1 (read now, so a change after the request arrived counts), otherwise the NotFound line; a request that is not to
// be read (judge false) gets the NotFound line too.
std::string ReplyTo(std::string_view request, bool judge, Monitor& monitor);
