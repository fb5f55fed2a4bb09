#include "core/agent/StartLine.h"

#include "core/capacity/Monitor.h"
#include "core/history/LimitWatch.h"
#include "core/net/ListenAddress.h"
#include "platform/PathText.h"

#include <optional>

namespace {

bool IsAbsolute(const std::string& path) {
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
}

// The folder without its final separator, except for a root.
std::string WithoutFinalSeparator(std::string folder) {
    if (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\') && folder[folder.size() - 2] != ':') {
        folder.pop_back();
    }
    return folder;
}

std::string RefreshText(const MonitorSettings& settings) {
    if (settings.Auto != 1) {
        return "no automatic refresh (Auto=" + std::to_string(settings.Auto) + ")";
    }
    if (settings.Time > 0) {
        return "automatic refresh every " + std::to_string(settings.Time) + " min (Auto=1)";
    }
    return "automatic refresh on (Auto=1, Time=" + std::to_string(settings.Time) + ")";
}

std::string PortText(const MonitorSettings& settings, int listeningPort) {
    if (listeningPort == 0) {
        if (const std::optional<std::string> outside = PortOutsideRange(settings.Port, "Port=")) {
            return "no listener: " + *outside;
        }
        return "no listener: port " + std::to_string(settings.Port) + " could not be opened (see above)";
    }
    std::string text = "port " + std::to_string(listeningPort);
    if (!settings.HttpAddress.empty()) {
        text += " on " + settings.HttpAddress;
    }
    if (settings.Port != listeningPort) {
        text += " (Port=" + std::to_string(settings.Port) + ": any free port)";
    }
    const std::string scrapes = "GET /metrics and /status.json (Metrics=1)";
    if (settings.NetWork != 1) {
        return text + " answers " + (settings.HttpMetrics == 1 ? scrapes + ", any other request" : "every request") +
               " with 404 (NetWork=" + std::to_string(settings.NetWork) + "; NetWork=1 serves GET /renew)";
    }
    return text + " answers GET /renew" + (settings.Pass.empty() ? "" : "/<Pass>") + " (NetWork=1)" +
           (settings.HttpMetrics == 1 ? " and " + scrapes : "");
}

// The history, the main drive's forecast and the limits, each only when set; empty when none is.
std::string OutlookText(const Monitor& monitor) {
    const ForecastSettings& options = monitor.Forecast();
    std::string text;
    if (options.HistoryDays > 0) {
        text += "; history " + std::to_string(options.HistoryDays) + (options.HistoryDays == 1 ? " day" : " days") +
                " in " + FolderOf(monitor.ConfigurationPath()) + std::string(kHistoryFileName);
        const DriveOutlook* main = monitor.OutlookOf(monitor.Settings().Directory);
        const auto fullIn = [](const DriveOutlook& outlook) {
            return FullInText({*outlook.fullInSeconds, outlook.fullInLowSeconds, outlook.fullInHighSeconds});
        };
        if (main != nullptr && main->fullInSeconds) {
            text += ", main drive " + fullIn(*main);
        }
        for (const auto& [letter, outlook] : monitor.Outlooks()) {
            if (&outlook != main && outlook.fullInSeconds) {
                text += ", " + std::string(1, letter) + " " + fullIn(outlook);
            }
        }
    }
    if (!options.Limits.empty()) {
        text += "; limits";
        const char* separator = " ";
        for (const auto& [letter, limit] : options.Limits) {
            text += separator + std::string(1, letter) + ": " + LimitText(limit);
            separator = ", ";
        }
    }
    return text;
}

} // namespace

std::string StartLine(const Monitor& monitor, int listeningPort) {
    const MonitorSettings& settings = monitor.Settings();
    const std::string workingFolder = FolderOf(monitor.ConfigurationPath());
    const std::string driveFolder = monitor.GetPlatform().FolderOfRoot(settings.Directory + ":\\");
    // The status file's path is its folder and its name joined as they stand; a relative one lies in the
    // working folder.
    std::string statusFile = settings.Path + monitor.Reading().freeText;
    if (!IsAbsolute(statusFile)) {
        statusFile.insert(0, workingFolder);
    }
    return "started headless: settings " + monitor.ConfigurationPath() + "; main drive " + settings.Directory + " (" +
           WithoutFinalSeparator(driveFolder) + "): " + monitor.Reading().freeText + "; status file " + statusFile +
           " written at each refresh, " + RefreshText(settings) + "; " + PortText(settings, listeningPort) +
           OutlookText(monitor);
}

std::string ReloadLine(const std::string& configurationPath, int listenedPort, int port) {
    std::string line = "settings reloaded from " + configurationPath;
    if (port != listenedPort) {
        line += "; Port=" + std::to_string(port) + " takes effect at the next start (the port stays " +
                std::to_string(listenedPort) + " until then)";
    }
    return line;
}
