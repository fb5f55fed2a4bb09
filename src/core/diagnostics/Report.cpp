#include "core/diagnostics/Report.h"

#include "platform/Platform.h"

#include <atomic>
#include <cstdio>
#include <string>

void WriteLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    line += '\n';
    // One write per line, so lines of several threads or processes do not interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

namespace {
std::atomic<bool> g_silenced{false};
} // namespace

void SilenceReports() {
    g_silenced = true;
}

void Report(std::string_view message) {
    if (g_silenced) {
        return;
    }
    std::string line = "tarvellin: ";
    line += message;
    WriteLine(line);
}

void ReportChange(std::string& reported, const std::string& reason, const std::string& failed,
                  const std::string& workingAgain) {
    if (reason == reported) {
        return;
    }
    Report(reason.empty() ? workingAgain : failed + ": " + reason);
    reported = reason;
}

std::string FailureReason(const Platform& platform, const std::string& path, const char* otherwise) {
    return platform.FolderStuck(path) ? FolderDidNotAnswer() : std::string(otherwise);
}
