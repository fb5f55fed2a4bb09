#include "core/net/Reply.h"

#include "core/capacity/Monitor.h"
#include "core/net/Request.h"
#include "core/net/Scrape.h"
#include "core/settings/MonitorSettings.h"

#include <optional>
#include <utility>

std::string ReplyTo(std::string_view request, bool judge, Monitor& monitor) {
    if (judge) {
        if (std::optional<std::string> scrape = ScrapeReply(request, monitor)) {
            return std::move(*scrape);
        }
    }
    const MonitorSettings& settings = monitor.Settings();
    const ReplyKind kind = judge && settings.NetWork == 1
                               ? DecideRequest(request, settings, monitor.GetPlatform().AsRequestBytes(settings.Pass))
                               : ReplyKind::NotFound;
    return ReplyText(kind, monitor);
}
