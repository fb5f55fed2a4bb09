// The Windows program: the socket layer, the platform and the tray agent, whose message loop runs until the
// exit command.
#include <winsock2.h>
#include <windows.h>

#include <memory>
#include <new>

#include "CChildDlg.h"
#include "CQuorvantelDlg.h"
#include "platform/Platform.h"
#include "platform/guarded/GuardedPlatform.h"
#include "core/diagnostics/FixedTexts.h"
#include "resource.h"

namespace {

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

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
    // A drive without a medium answers its query with a failure, not with a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS);
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
