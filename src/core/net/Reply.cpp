#include "core/net/Reply.h"

#include "core/capacity/Monitor.h"
#include "core/net/Request.h"
#include "core/net/Scrape.h"
#include "core/settings/MonitorSettings.h"

#include <optional>
#include <utility>

std::string ReplyTo(std::string_view request, bool judge, Monitor& monitor) {
    // Scrapes, refused requests and their decision only read the monitor.
    const Monitor& view = monitor;
    if (judge) {
        if (std::optional<std::string> scrape = ScrapeReply(request, view)) {
            return std::move(*scrape);
        }
    }
    const MonitorSettings& settings = view.Settings();
    const ReplyKind kind = judge && settings.NetWork == 1
                               ? DecideRequest(request, settings, view.GetPlatform().AsRequestBytes(settings.Pass))
                               : ReplyKind::NotFound;
    if (kind != ReplyKind::UpdateAccepted) {
        return ComposeReply(kind, view);
    }
    // An accepted update is the one request that changes the monitor: it runs a refresh cycle.
    return ReplyText(kind, monitor);
}
