#include "headless/CommandLine.h"

#include "core/diagnostics/Report.h"

#include <cstdio>
#include <string>
#include <string_view>

// Set by the build: the project's version and the git revision it was built from.
#ifndef TARVELLIN_VERSION
#define TARVELLIN_VERSION "unknown"
#endif
#ifndef TARVELLIN_GIT_REVISION
#define TARVELLIN_GIT_REVISION "unknown"
#endif

namespace {

constexpr int kRefused = 2;

constexpr const char* kUsage =
    "Usage: tarvellin [--help | --version]\n"
    "\n"
    "Watches the free capacity of disk drives and publishes it: as a tray icon, as empty status files whose\n"
    "name is the free-capacity text, and on a TCP port that answers GET /renew with a one-line page.\n"
    "\n"
    "Start it without arguments in the folder that holds tarvellin.ini (the first refresh writes the file with\n"
    "all its keys). With a display and a system tray it runs in the tray; otherwise it runs headless and writes\n"
    "one line to stderr saying what it does.\n"
    "\n"
    "  -h, --help   show this text and exit\n"
    "  --version    show the version and the git revision of the build, and exit\n"
    "\n"
    "Signals: SIGINT and SIGTERM end it (nothing is saved); SIGHUP reads tarvellin.ini again (a new Port takes\n"
    "effect at the next start). One agent per folder: a second one started there exits with status 1.\n"
    "Exit status: 0 ended normally, 1 could not start, 2 unknown argument. More: man tarvellin\n";

} // namespace

std::optional<int> AnswerCommandLine(int argc, char** argv) {
    if (argc <= 1) {
        return std::nullopt;
    }
    const std::string_view argument = argv[1];
    const bool help = argument == "--help" || argument == "-h";
    const bool version = argument == "--version";
    if (argc == 2 && help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && version) {
        std::printf("tarvellin %s (git revision %s)\n", TARVELLIN_VERSION, TARVELLIN_GIT_REVISION);
        return 0;
    }
    // The first argument that is not a lone option of ours.
    const std::string_view unexpected = help || version ? std::string_view(argv[2]) : argument;
    Report("unknown argument '" + std::string(unexpected) + "' (tarvellin takes only --help or --version)");
    return kRefused;
}
