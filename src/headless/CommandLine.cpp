#include "headless/CommandLine.h"

#include "core/diagnostics/Report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

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
    "Usage: tarvellin [--folder DIR] [--help | --version]\n"
    "\n"
    "Watches the free capacity of disk drives and publishes it: as a tray icon, as empty status files whose\n"
    "name is the free-capacity text, and on a TCP port that answers GET /renew with a one-line page.\n"
    "\n"
    "Start it in the folder that holds tarvellin.ini, or name that folder with --folder (the first refresh\n"
    "writes the file with all its keys). With a display and a system tray it runs in the tray; otherwise it runs\n"
    "headless and writes one line to stderr saying what it does.\n"
    "\n"
    "  --folder DIR  work in DIR (made, with its parents, when missing): tarvellin.ini, the lock and relative\n"
    "                status folders are there\n"
    "  -h, --help    show this text and exit\n"
    "  --version     show the version and the git revision of the build, and exit\n"
    "\n"
    "Signals: SIGINT and SIGTERM end it (nothing is saved); SIGHUP reads tarvellin.ini again (a new Port takes\n"
    "effect at the next start). One agent per folder: a second one started there exits with status 1.\n"
    "Exit status: 0 ended normally, 1 could not start, 2 unknown argument or unusable folder. More: man tarvellin\n";

constexpr std::string_view kFolderOption = "--folder";

// Makes the folder with its parents when missing and makes it the working folder; false, with one line on
// stderr, when either fails.
bool EnterFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        Report("cannot make the folder '" + folder + "': " + error.message());
        return false;
    }
    if (::chdir(folder.c_str()) != 0) {
        Report("cannot enter the folder '" + folder + "': " + std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace

std::optional<int> AnswerCommandLine(int& argc, char** argv) {
    // --folder DIR is taken out of the arguments wherever it stands; what remains is answered as before.
    std::optional<std::string> folder;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == kFolderOption) {
            if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
                Report("the option --folder needs a folder");
                return kRefused;
            }
            folder = argv[++i];
        } else if (argument.starts_with("--folder=") && argument.size() > kFolderOption.size() + 1) {
            folder = std::string(argument.substr(kFolderOption.size() + 1));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    if (argc <= 1) {
        return folder && !EnterFolder(*folder) ? std::optional<int>(kRefused) : std::nullopt;
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
    Report("unknown argument '" + std::string(unexpected) +
           "' (tarvellin takes only --folder DIR, --help or --version)");
    return kRefused;
}
