#pragma once

#include <string>
#include <vector>

// What the command line of the Windows program asks for.
struct StartOptions {
    enum class Action {
        Tray,             // the tray agent (no arguments, or only --folder)
        Help,             // --help, -h or /?
        ServiceInstall,   // --service install [--folder DIR]
        ServiceUninstall, // --service uninstall
        ServiceRun,       // --service run [--folder DIR]: started by the service manager
        Refused,          // anything else; refusal says why
    };
    Action action = Action::Tray;
    std::wstring folder; // empty when --folder was not given
    std::string refusal; // one line, UTF-8
};

// Reads the arguments (without the program's name). --folder DIR (or --folder=DIR) and --service VERB may stand
// in any order; a later one replaces an earlier one. Never fails: what it cannot use comes back as Refused.
StartOptions ParseStartOptions(const std::vector<std::wstring>& arguments);

// The usage text of the Windows program, UTF-8.
extern const char* const kWindowsUsage;
