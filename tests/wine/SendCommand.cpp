// tarvellin_send_command <message> [<wParam>]: posts the message (a number; WM_COMMAND is 273, WM_CLOSE 16)
// to the tray agent's hidden window, found by its class and caption, waiting up to 10 s for the window.
// Exit status 0 when posted, 1 when no window was found, 2 on wrong arguments.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argc > 3) {
        return 2;
    }
    const auto message = static_cast<UINT>(std::wcstoul(argv[1], nullptr, 10));
    const WPARAM wParam = argc == 3 ? static_cast<WPARAM>(std::wcstoul(argv[2], nullptr, 10)) : 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (HWND window = FindWindowW(L"#32770", L"ﾀﾞｲｱﾛｸﾞ"); window != nullptr) {
            return PostMessageW(window, message, wParam, 0) ? 0 : 1;
        }
        Sleep(100);
    }
    return 1;
}
