// The Windows program: the command line (a settings folder, the service's install, uninstall and run), then the
// socket layer, the platform and the tray agent, whose message loop runs until the exit command.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "CChildDlg.h"
#include "CQuorvantelDlg.h"
#include "StartOptions.h"
#include "WideText.h"
#include "WorkingFolder.h"
#include "platform/Platform.h"
#include "platform/guarded/GuardedPlatform.h"
#include "core/diagnostics/FixedTexts.h"
#include "core/diagnostics/Report.h"
#include "resource.h"
#include "service/AgentService.h"
#include "service/ServiceInstaller.h"

namespace {

constexpr int kRefused = 2;

// Converted on the stack: the box also tells of a start that ran out of memory.
void ShowStartFailure(HINSTANCE instance, UINT stringId, const char* fallback) {
    wchar_t text[256] = {};
    if (stringId == 0 || LoadStringW(instance, stringId, text, static_cast<int>(std::size(text))) <= 0) {
        MultiByteToWideChar(CP_UTF8, 0, fallback, -1, text, static_cast<int>(std::size(text)));
    }
    wchar_t title[32] = {};
    MultiByteToWideChar(CP_UTF8, 0, kAppName, -1, title, static_cast<int>(std::size(title)));
    MessageBoxW(nullptr, text, title, MB_OK);
}

// True when stderr reaches somebody: a handle the program was started with, or the console of the command
// prompt it was started from (a windowed program gets none of its own).
bool ConsoleReachable() {
    const HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    if (standardError != nullptr && standardError != INVALID_HANDLE_VALUE) {
        return true;
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        return false;
    }
    return std::freopen("CONOUT$", "w", stderr) != nullptr && std::freopen("CONOUT$", "w", stdout) != nullptr;
}

// Tells the text on stdout (a report on stderr) when a console is there, otherwise in a box.
void Tell(const std::string& text, bool report) {
    if (ConsoleReachable()) {
        if (report) {
            Report(text);
        } else {
            std::fputs(text.c_str(), stdout);
            std::fflush(stdout);
        }
        return;
    }
    MessageBoxW(nullptr, Widen(text).c_str(), L"tarvellin", MB_OK | (report ? MB_ICONWARNING : MB_ICONINFORMATION));
}

std::vector<std::wstring> Arguments() {
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; list != nullptr && i < count; ++i) {
        arguments.emplace_back(list[i]);
    }
    LocalFree(list);
    return arguments;
}

int RunTray(HINSTANCE instance) {
    WSADATA sockets{};
    if (WSAStartup(MAKEWORD(2, 2), &sockets) != 0) {
        ShowStartFailure(instance, IDS_SOCKETS_INIT_FAILED, kSocketsInitFailed);
        return 1;
    }
    int exitCode = 1;
    try {
        // Drive queries and file operations are bounded in time, so a hung drive or share cannot freeze the
        // agent's one thread.
        GuardedPlatform platform{&CreatePlatform};
        CChildDlg agent(instance, platform, platform.ConfigurationPath());
        CQuorvantelDlg launcher(instance, [&agent] { return agent.RunModal(); });
        exitCode = launcher.RunModal() == -1 ? 1 : 0;
    } catch (const std::bad_alloc&) {
        ShowStartFailure(instance, 0, kOutOfMemory);
    }
    WSACleanup();
    return exitCode;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
    // A drive without a medium answers its query with a failure, not with a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    const StartOptions options = ParseStartOptions(Arguments());
    switch (options.action) {
    case StartOptions::Action::Help:
        Tell(kWindowsUsage, false);
        return 0;
    case StartOptions::Action::Refused:
        Tell(options.refusal, true);
        return kRefused;
    case StartOptions::Action::ServiceInstall: {
        const std::string failure = InstallAgentService(options.folder);
        Tell(failure.empty() ? "installed the service tarvellin; start it with: sc start tarvellin\n" : failure,
             !failure.empty());
        return failure.empty() ? 0 : 1;
    }
    case StartOptions::Action::ServiceUninstall: {
        const std::string failure = UninstallAgentService();
        Tell(failure.empty() ? "the service tarvellin is not installed (any more)\n" : failure, !failure.empty());
        return failure.empty() ? 0 : 1;
    }
    case StartOptions::Action::ServiceRun:
        return RunAgentService(options.folder);
    case StartOptions::Action::Tray:
        break;
    }
    // Before anything else: the settings file is found in the current directory.
    if (!options.folder.empty()) {
        if (const std::string failure = EnterWorkingFolder(options.folder); !failure.empty()) {
            Tell(failure, true);
            return kRefused;
        }
    }
    return RunTray(instance);
}
