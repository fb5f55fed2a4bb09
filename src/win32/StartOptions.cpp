#include "StartOptions.h"

#include <string_view>

const char* const kWindowsUsage =
    "Usage: tarvellin.exe [--folder DIR]\n"
    "       tarvellin.exe --service install [--folder DIR] | --service uninstall\n"
    "\n"
    "  --folder DIR       keep tarvellin.ini in DIR (made, with its parents, when missing) instead of the folder\n"
    "                     the program is started in; %VARIABLES% in DIR are expanded\n"
    "  --service install  install the agent as the Windows service \"tarvellin\" (started with Windows, no tray);\n"
    "                     its settings are in %ProgramData%\\tarvellin unless --folder names another folder\n"
    "  --service uninstall  stop and remove the service; its settings and status files stay\n"
    "  -h, --help         show this text\n";

namespace {

std::string Narrow(std::wstring_view text) {
    // Only for naming an argument in a refusal: anything outside ASCII shows as '?'.
    std::string out;
    for (const wchar_t c : text) {
        out += c > 0 && c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

StartOptions Refuse(std::string why) {
    StartOptions refused;
    refused.action = StartOptions::Action::Refused;
    refused.refusal = std::move(why);
    return refused;
}

} // namespace

StartOptions ParseStartOptions(const std::vector<std::wstring>& arguments) {
    constexpr std::wstring_view kFolder = L"--folder";
    StartOptions options;
    bool help = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring_view argument = arguments[i];
        if (argument == kFolder || argument == L"--service") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return Refuse("the option " + Narrow(argument) + " needs a value");
            }
            const std::wstring& value = arguments[++i];
            if (argument == kFolder) {
                options.folder = value;
            } else if (value == L"install") {
                options.action = StartOptions::Action::ServiceInstall;
            } else if (value == L"uninstall") {
                options.action = StartOptions::Action::ServiceUninstall;
            } else if (value == L"run") {
                options.action = StartOptions::Action::ServiceRun;
            } else {
                return Refuse("unknown --service '" + Narrow(value) + "' (install, uninstall or run)");
            }
        } else if (argument.starts_with(L"--folder=") && argument.size() > kFolder.size() + 1) {
            options.folder = argument.substr(kFolder.size() + 1);
        } else if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
            help = true;
        } else {
            return Refuse("unknown argument '" + Narrow(argument) +
                          "' (tarvellin.exe takes --folder DIR, --service install|uninstall or --help)");
        }
    }
    if (help) {
        options.action = StartOptions::Action::Help;
    }
    return options;
}
