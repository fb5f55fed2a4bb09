// A probe of the program's dialogs from inside the same Wine session, found by class (#32770) and caption:
//   tarvellin_wine_window <caption> post <message> [<wParam>]   posts the message (WM_COMMAND is 273)
//   tarvellin_wine_window <caption> text                        prints the text of the message-box text
//                                                                control (id 65535), UTF-8, line ends as \n
// Waits up to 10 s for the window. Exit status 0 when done, 1 when no window was found, 2 on wrong arguments.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND FindDialog(const wchar_t* caption) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (HWND window = FindWindowW(L"#32770", caption); window != nullptr) {
            return window;
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

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    const std::wstring verb = argv[2];
    if (verb == L"post" && (argc == 4 || argc == 5)) {
        const auto message = static_cast<UINT>(std::wcstoul(argv[3], nullptr, 10));
        const WPARAM wParam = argc == 5 ? static_cast<WPARAM>(std::wcstoul(argv[4], nullptr, 10)) : 0;
        HWND window = FindDialog(argv[1]);
        return window != nullptr && PostMessageW(window, message, wParam, 0) ? 0 : 1;
    }
    if (verb == L"text" && argc == 3) {
        HWND window = FindDialog(argv[1]);
        return window != nullptr ? PrintText(window) : 1;
    }
    return 2;
}
