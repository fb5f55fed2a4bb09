// A probe of the program's dialogs from inside the same Wine session, found by class (#32770) and caption, a
// visible one before a hidden one:
//   tarvellin_wine_window <caption> post <message> [<wParam>]   posts the message (WM_COMMAND is 273)
//   tarvellin_wine_window <caption> text                        prints the text of the message-box text
//                                                                control (id 65535), UTF-8, line ends as \n
//   tarvellin_wine_window <caption> visible                     prints how many such windows are visible
//   tarvellin_wine_window <message name> broadcast              posts the registered message to every
//                                                                top-level window
//   tarvellin_wine_window - balloons <ms>                       for that long, one line for each balloon of the
//                                                                notification area that comes up: X window, text
//   tarvellin_wine_window - idle                                one hidden window and a message loop, until
//                                                                killed: the least a windowed program costs
// Waits up to 10 s for the window. Exit status 0 when done, 1 when no window was found, 2 on wrong arguments.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <set>
#include <string>

namespace {

struct Matches {
    const wchar_t* caption;
    HWND visible = nullptr;
    HWND hidden = nullptr;
    int visibleCount = 0;
};

BOOL CALLBACK Collect(HWND window, LPARAM context) {
    auto& matches = *reinterpret_cast<Matches*>(context);
    wchar_t className[16] = {};
    wchar_t caption[256] = {};
    GetClassNameW(window, className, static_cast<int>(std::size(className)));
    GetWindowTextW(window, caption, static_cast<int>(std::size(caption)));
    if (std::wcscmp(className, L"#32770") == 0 && std::wcscmp(caption, matches.caption) == 0) {
        if (IsWindowVisible(window)) {
            matches.visible = window;
            ++matches.visibleCount;
        } else {
            matches.hidden = window;
        }
    }
    return TRUE;
}

Matches FindAll(const wchar_t* caption) {
    Matches matches{caption};
    EnumWindows(&Collect, reinterpret_cast<LPARAM>(&matches));
    return matches;
}

HWND FindDialog(const wchar_t* caption, bool visibleOnly) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Matches matches = FindAll(caption);
        if (matches.visible != nullptr) {
            return matches.visible;
        }
        if (!visibleOnly && matches.hidden != nullptr) {
            return matches.hidden;
        }
        Sleep(100);
    }
    return nullptr;
}

int PrintText(HWND window) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(window, 0xFFFF, text, static_cast<int>(std::size(text)));
    std::string utf8(4 * std::size(text), '\0');
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    std::string escaped;
    for (const char c : utf8) {
        if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\r') {
            escaped += "\\r";
        } else {
            escaped += c;
        }
    }
    std::fwrite(escaped.data(), 1, escaped.size(), stdout);
    return 0;
}

// The shell shows a balloon as a visible balloon tooltip; its WM_GETTEXT answers the text it shows.
BOOL CALLBACK PrintNewBalloon(HWND window, LPARAM context) {
    auto& seen = *reinterpret_cast<std::set<HWND>*>(context);
    wchar_t className[32] = {};
    GetClassNameW(window, className, static_cast<int>(std::size(className)));
    if (std::wcscmp(className, L"tooltips_class32") != 0 || !IsWindowVisible(window) ||
        (GetWindowLongPtrW(window, GWL_STYLE) & TTS_BALLOON) == 0 || !seen.insert(window).second) {
        return TRUE;
    }
    wchar_t text[1024] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        &ignored);
    std::string utf8(4 * std::size(text), '\0');
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    // Wine's X11 driver names a window's X window in this property.
    const auto x11Window = reinterpret_cast<std::uintptr_t>(GetPropW(window, L"__wine_x11_whole_window"));
    std::printf("%llu %s\n", static_cast<unsigned long long>(x11Window), utf8.c_str());
    std::fflush(stdout);
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::wstring verb = argv[2];
    if (verb == L"post" && (argc == 4 || argc == 5)) {
        const auto message = static_cast<UINT>(std::wcstoul(argv[3], nullptr, 10));
        const WPARAM wParam = argc == 5 ? static_cast<WPARAM>(std::wcstoul(argv[4], nullptr, 10)) : 0;
        HWND window = FindDialog(argv[1], false);
        return window != nullptr && PostMessageW(window, message, wParam, 0) ? 0 : 1;
    }
    if (verb == L"text" && argc == 3) {
        HWND window = FindDialog(argv[1], true);
        return window != nullptr ? PrintText(window) : 1;
    }
    if (verb == L"visible" && argc == 3) {
        std::printf("%d", FindAll(argv[1]).visibleCount);
        return 0;
    }
    if (verb == L"balloons" && argc == 4) {
        std::set<HWND> seen;
        const DWORD end = GetTickCount() + static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));
        while (static_cast<LONG>(end - GetTickCount()) > 0) {
            EnumWindows(&PrintNewBalloon, reinterpret_cast<LPARAM>(&seen));
            Sleep(50);
        }
        return 0;
    }
    if (verb == L"idle" && argc == 3) {
        CreateWindowExW(0, L"Static", L"idle", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        MSG message{};
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        return 0;
    }
    if (verb == L"broadcast" && argc == 3) {
        const UINT message = RegisterWindowMessageW(argv[1]);
        return message != 0 && PostMessageW(HWND_BROADCAST, message, 0, 0) ? 0 : 1;
    }
    return 2;
}
