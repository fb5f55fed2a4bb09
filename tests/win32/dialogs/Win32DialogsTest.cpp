#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "core/capacity/Monitor.h"
#include "core/dialogs/DialogLayouts.h"
#include "core/dialogs/DriveDialogModel.h"
#include "core/dialogs/NetworkDialogModel.h"
#include "core/dialogs/SettingDialogModel.h"
#include "platform/Platform.h"
#include "win32/dialogs/Win32Dialogs.h"
#include "win32/resource.h"

namespace {

using namespace std::chrono_literals;
using M = SettingDialogModel;
using N = NetworkDialogModel;
using D = DriveDialogModel;

std::string Utf8(const std::wstring& text) {
    std::string narrow(text.size() * 3, '\0');
    narrow.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                               narrow.data(), static_cast<int>(narrow.size()), nullptr,
                                                               nullptr)));
    return narrow;
}

std::wstring TextOf(HWND window) {
    wchar_t buffer[512] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL, 2000, &length);
    return std::wstring(buffer, length);
}

// The driver gives up on a dialog that never comes or never goes: the dialog thread would wait for ever.
[[noreturn]] void Abandon(const char* what) {
    std::fprintf(stderr, "win32_dialogs_test: %s\n", what);
    std::fflush(stderr);
    std::_Exit(1);
}

template <class Condition> bool WaitFor(Condition condition, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

// A visible top-level dialog of this process with the caption, owned by owner when owner is given.
HWND FindDialog(const wchar_t* caption, HWND owner = nullptr) {
    HWND found = nullptr;
    for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", caption); window != nullptr;
         window = FindWindowExW(nullptr, window, L"#32770", caption)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
            (owner == nullptr || GetWindow(window, GW_OWNER) == owner)) {
            found = window;
        }
    }
    return found;
}

HWND AwaitDialog(const wchar_t* caption, HWND owner = nullptr) {
    HWND found = nullptr;
    if (!WaitFor([&] { return (found = FindDialog(caption, owner)) != nullptr; })) {
        Abandon(("no dialog " + Utf8(caption)).c_str());
    }
    return found;
}

void AwaitGone(HWND dialog) {
    if (!WaitFor([&] { return !IsWindow(dialog); })) {
        Abandon(("the dialog " + Utf8(TextOf(dialog)) + " stays open").c_str());
    }
}

// A click as the user makes it; returns without waiting for a dialog that the click runs.
void Click(HWND dialog, int id) {
    SendMessageTimeoutW(GetDlgItem(dialog, id), BM_CLICK, 0, 0, SMTO_NORMAL, 300, nullptr);
}

void SetText(HWND dialog, int id, const wchar_t* text) {
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000,
                        nullptr);
}

void PressKey(HWND dialog, int id, WPARAM key) {
    PostMessageW(GetDlgItem(dialog, id), WM_KEYDOWN, key, 1);
    PostMessageW(GetDlgItem(dialog, id), WM_KEYUP, key, 0xC0000001);
}

// Lets the dialog thread handle what was posted to it.
void Settle(HWND dialog) {
    SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 2000, nullptr);
    Sleep(100);
    SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 2000, nullptr);
}

bool IsEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// A dialog template (DLGTEMPLATEEX) of the program's resources, as the resource compiler wrote it.
struct DialogTemplate {
    struct Control {
        DWORD style;
        int id;
        std::array<short, 4> place;
        std::wstring windowClass; // a predefined class by its name
        std::wstring text;        // an ordinal as #<ordinal>
    };
    DWORD style = 0;
    std::array<short, 4> place{};
    std::wstring caption;
    WORD pointSize = 0;
    BYTE charset = 0;
    std::wstring face;
    std::vector<Control> controls;
};

DialogTemplate ReadTemplate(int resourceId) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), RT_DIALOG);
    DialogTemplate dialog;
    if (found == nullptr) {
        ADD_FAILURE() << "no dialog template " << resourceId;
        return dialog;
    }
    const auto* start = static_cast<const WORD*>(LockResource(LoadResource(module, found)));
    const WORD* at = start;
    const auto dword = [&] {
        const DWORD low = *at++;
        return low | (static_cast<DWORD>(*at++) << 16);
    };
    const auto place = [&] {
        std::array<short, 4> rectangle{};
        for (short& value : rectangle) {
            value = static_cast<short>(*at++);
        }
        return rectangle;
    };
    const auto text = [&] {
        std::wstring value;
        while (*at != 0) {
            value.push_back(static_cast<wchar_t>(*at++));
        }
        ++at;
        return value;
    };
    const auto nameOrOrdinal = [&] {
        if (*at != 0xFFFF) {
            return text();
        }
        at += 2;
        return L"#" + std::to_wstring(at[-1]);
    };
    // The resource compiler writes a predefined class as an ordinal or by its name.
    const auto windowClass = [&] {
        const std::wstring name = nameOrOrdinal();
        return name == L"#128" ? L"Button" : name == L"#129" ? L"Edit" : name == L"#130" ? L"Static" : name;
    };
    if (at[0] != 1 || at[1] != 0xFFFF) {
        ADD_FAILURE() << "dialog " << resourceId << " is no DLGTEMPLATEEX";
        return dialog;
    }
    at += 6; // version, signature, help id, extended style
    dialog.style = dword();
    const WORD count = *at++;
    dialog.place = place();
    nameOrOrdinal(); // menu
    nameOrOrdinal(); // window class
    dialog.caption = text();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = *at;
        dialog.charset = static_cast<BYTE>(at[2] >> 8); // after the weight and the italic flag
        at += 3;
        dialog.face = text();
    }
    for (WORD index = 0; index < count; ++index) {
        at = start + ((at - start + 1) & ~1); // each control starts on a DWORD boundary
        at += 4;                              // help id, extended style
        const DWORD style = dword();
        const std::array<short, 4> rectangle = place();
        const int id = static_cast<int>(dword());
        std::wstring className = windowClass();
        std::wstring title = nameOrOrdinal();
        at += (*at + 1) / 2 + 1; // creation data
        dialog.controls.push_back({style, id, rectangle, std::move(className), std::move(title)});
    }
    EXPECT_LE(static_cast<DWORD>(at - start) * 2, SizeofResource(module, found)) << "dialog " << resourceId;
    return dialog;
}

// The window class and the style bits that a control of the kind has in a template, and the mask that
// selects them.
struct KindStyle {
    const wchar_t* windowClass;
    DWORD mask;
    DWORD bits;
};

KindStyle StyleOf(const ControlLayout& control) {
    constexpr DWORD kButtonMask = BS_TYPEMASK | WS_TABSTOP;
    switch (control.kind) {
    case ControlKind::Text:
        return {L"Static", SS_TYPEMASK | SS_NOPREFIX | WS_TABSTOP,
                static_cast<DWORD>(SS_LEFT | ((control.style & kNoPrefix) != 0 ? SS_NOPREFIX : 0))};
    case ControlKind::Icon:
        return {L"Static", SS_TYPEMASK | WS_TABSTOP, SS_ICON};
    case ControlKind::Edit:
        return {L"Edit", ES_AUTOHSCROLL | ES_PASSWORD | WS_BORDER | WS_TABSTOP,
                static_cast<DWORD>(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP |
                                   ((control.style & kPassword) != 0 ? ES_PASSWORD : 0))};
    case ControlKind::CheckBox:
        return {L"Button", kButtonMask, BS_AUTOCHECKBOX | WS_TABSTOP};
    case ControlKind::PushButton:
        return {L"Button", kButtonMask, BS_PUSHBUTTON | WS_TABSTOP};
    case ControlKind::DefaultButton:
        return {L"Button", kButtonMask, BS_DEFPUSHBUTTON | WS_TABSTOP};
    }
    return {L"", 0, 0};
}

// The dialog's template in the program's resources against its layout table: caption, size, font, and every
// control in order with its id, class, style, text and place.
void ExpectTemplate(const DialogLayout& layout) {
    SCOPED_TRACE("dialog " + std::to_string(layout.resourceId));
    const DialogTemplate dialog = ReadTemplate(layout.resourceId);
    constexpr DWORD kFrame = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(dialog.style & kFrame, kFrame);
    EXPECT_EQ(Utf8(dialog.caption), layout.caption);
    EXPECT_EQ(dialog.place,
              (std::array<short, 4>{0, 0, static_cast<short>(layout.width), static_cast<short>(layout.height)}));
    EXPECT_EQ(Utf8(dialog.face), kDialogFont.face);
    EXPECT_EQ(dialog.pointSize, kDialogFont.pointSize);
    EXPECT_EQ(dialog.charset, kDialogFont.charset);

    ASSERT_EQ(dialog.controls.size(), layout.controls.size());
    for (std::size_t index = 0; index < layout.controls.size(); ++index) {
        const ControlLayout& expected = layout.controls[index];
        const DialogTemplate::Control& control = dialog.controls[index];
        SCOPED_TRACE("control " + std::to_string(index + 1) + ", id " + std::to_string(expected.id));
        EXPECT_EQ(static_cast<short>(control.id), expected.id);
        const KindStyle kind = StyleOf(expected);
        EXPECT_EQ(_wcsicmp(control.windowClass.c_str(), kind.windowClass), 0) << Utf8(control.windowClass);
        EXPECT_EQ(control.style & kind.mask, kind.bits);
        const DWORD shown = (expected.style & kNeverShown) != 0 ? WS_DISABLED : WS_VISIBLE;
        EXPECT_EQ(control.style & (WS_CHILD | WS_VISIBLE | WS_DISABLED), WS_CHILD | shown);
        EXPECT_EQ(Utf8(control.text), expected.kind == ControlKind::Icon ? "#" + std::to_string(IDI_APPLICATION_ICON)
                                                                         : std::string(expected.text));
        EXPECT_EQ(control.place, (std::array{static_cast<short>(expected.x), static_cast<short>(expected.y),
                                             static_cast<short>(expected.width), static_cast<short>(expected.height)}));
    }
}

TEST(Win32DialogTemplates, MatchTheirLayoutTables) {
    for (const DialogLayout* layout : {&kAboutDialogLayout, &kLauncherDialogLayout, &kSettingDialogLayout,
                                       &kNetworkDialogLayout, &kDriveDialogLayout}) {
        ExpectTemplate(*layout);
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The settings of one run: a status folder of the test's own and every dependent control enabled.
class Win32DialogsTest : public ::testing::Test {
protected:
    Win32DialogsTest() {
        SetCurrentDirectoryW(m_folder.Path().wstring().c_str());
        m_folder.Write("tarvellin.ini",
                       "[Setting]\r\nPath=\"" + m_folder.Folder() +
                           "\"\r\nDirectory=C\r\nTime=5\r\nAuto=1\r\nNetWork=1\r\nKeikoku=1\r\nNokori=100\r\n"
                           "OtherDrive=1\r\nPort=8085\r\nPass=secret\r\n");
        m_monitor.LoadSettings();
        m_monitor.MeasureMainDrive();
        m_monitor.FormatTexts();
    }

    std::string Ini() const { return ReadFile(m_folder.Path() / "tarvellin.ini"); }

    // Runs the settings dialog on this thread while drive, on a thread of its own, works it.
    void RunSettings(const std::function<void(HWND)>& drive) {
        std::thread driver([&] {
            HWND dialog = AwaitDialog(L"tarvellin Ver2.10");
            drive(dialog);
            AwaitGone(dialog);
        });
        EXPECT_TRUE(m_dialogs.RunSettings(nullptr));
        driver.join();
        EXPECT_FALSE(m_dialogs.SettingsOpen());
    }

    TempDir m_folder;
    std::unique_ptr<Platform> m_platform = CreatePlatform();
    Monitor m_monitor{*m_platform, m_folder.Folder() + "tarvellin.ini"};
    NetworkDialogModel m_networkModel;
    DriveDialogModel m_driveModel{m_monitor};
    SettingDialogModel m_settingsModel{m_monitor, m_networkModel};
    Win32Dialogs m_dialogs{GetModuleHandleW(nullptr), m_settingsModel, m_driveModel, m_networkModel};
};

// A letter that names no drive.
wchar_t UnusedLetter() {
    const DWORD drives = GetLogicalDrives();
    for (int letter = 'Z'; letter >= 'D'; --letter) {
        if ((drives & (1u << (letter - 'A'))) == 0) {
            return static_cast<wchar_t>(letter);
        }
    }
    return L'\0';
}

TEST_F(Win32DialogsTest, SettingsDialogDrivesItsSubDialogsRefreshesAndSavesOnEnter) {
    const std::wstring used = [&] {
        std::wstring wide(m_monitor.Reading().usedText.size(), L'\0');
        wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, m_monitor.Reading().usedText.data(),
                                                                 static_cast<int>(m_monitor.Reading().usedText.size()),
                                                                 wide.data(), static_cast<int>(wide.size()))));
        return wide;
    }();
    std::atomic<bool> statusFileSeen = false;
    RunSettings([&](HWND settings) {
        EXPECT_EQ(TextOf(GetDlgItem(settings, M::kUsedText)), used);
        EXPECT_EQ(Utf8(TextOf(GetDlgItem(settings, M::kPath))), m_folder.Folder());

        // An enable rule: the minutes follow the check box 自動.
        EXPECT_TRUE(IsEnabled(settings, M::kTime));
        Click(settings, M::kAutoCheck);
        Settle(settings);
        EXPECT_FALSE(IsEnabled(settings, M::kTime));
        Click(settings, M::kAutoCheck);
        Settle(settings);
        EXPECT_TRUE(IsEnabled(settings, M::kTime));

        // The network dialog: Enter does nothing, a port out of range brings a message, Esc accepts.
        Click(settings, M::kNetworkButton);
        HWND network = AwaitDialog(L"ネットワーク設定", settings);
        PressKey(network, N::kPort, VK_RETURN);
        Settle(network);
        EXPECT_TRUE(IsWindow(network));
        SetText(network, N::kPort, L"65536");
        Click(network, IDOK);
        HWND message = AwaitDialog(L"tarvellin", network);
        EXPECT_NE(Utf8(TextOf(GetDlgItem(message, 0xFFFF))).find("65535"), std::string::npos);
        Click(message, IDOK);
        AwaitGone(message);
        Settle(network);
        EXPECT_TRUE(IsWindow(network));
        SetText(network, N::kPort, L"8090");
        PressKey(network, N::kPort, VK_ESCAPE);
        AwaitGone(network);

        // The drive dialog: a letter that names no drive vanishes; one folder edit per letter; Cancel.
        Click(settings, M::kDriveButton);
        HWND drives = AwaitDialog(L"ﾀﾞｲｱﾛｸﾞ", settings);
        const std::wstring typed = std::wstring(L"C") + UnusedLetter();
        SetText(drives, D::kLetters, typed.c_str());
        Settle(drives);
        EXPECT_EQ(TextOf(GetDlgItem(drives, D::kLetters)), L"C");
        EXPECT_TRUE(IsEnabled(drives, D::kFolderIds[0]));
        EXPECT_FALSE(IsEnabled(drives, D::kFolderIds[1]));
        Click(drives, IDCANCEL);
        AwaitGone(drives);

        // 更新: the status file appears under the free text.
        Click(settings, M::kUpdateButton);
        statusFileSeen = WaitFor([&] {
            const std::string name = Utf8(TextOf(GetDlgItem(settings, M::kFreeText)));
            return !name.empty() && GetFileAttributesW((m_folder.Path() / std::filesystem::u8path(name)).c_str()) !=
                                        INVALID_FILE_ATTRIBUTES;
        });

        // Enter in an edit: refresh, then the values are taken and the dialog ends.
        SetText(settings, M::kTime, L"7");
        PressKey(settings, M::kTime, VK_RETURN);
    });
    EXPECT_TRUE(statusFileSeen);
    EXPECT_EQ(m_monitor.Settings().Port, 8090);
    EXPECT_EQ(m_monitor.Settings().Directory2, "C");
    EXPECT_EQ(m_monitor.Settings().Time, 7);
    const std::string ini = Ini();
    EXPECT_NE(ini.find("Port=8090"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Time=7"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Pass=secret"), std::string::npos) << ini;
}

TEST_F(Win32DialogsTest, EscapeTakesTheValuesWithoutRefreshAndTheCloseBoxDropsThem) {
    const std::string before = Ini();
    RunSettings([](HWND settings) {
        SetText(settings, M::kTime, L"9");
        PressKey(settings, M::kPath, VK_ESCAPE);
    });
    EXPECT_EQ(m_monitor.Settings().Time, 9);
    EXPECT_EQ(Ini(), before);

    RunSettings([](HWND settings) {
        SetText(settings, M::kTime, L"11");
        PostMessageW(settings, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(m_monitor.Settings().Time, 9);
    EXPECT_EQ(Ini(), before);
}

// The tray agent's exit command, sent to a window of the dialogs' thread as the tray would.
constexpr UINT kExitCommand = WM_APP + 1;

LRESULT CALLBACK ExitWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kExitCommand) {
        reinterpret_cast<Win32Dialogs*>(GetWindowLongPtrW(window, GWLP_USERDATA))->CloseForExit();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(Win32DialogsTest, ExitAcceptsTheNetworkAndSettingsDialogsWithoutSaving) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ExitWindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"tarvellin-test-exit";
    RegisterClassW(&windowClass);
    HWND exitWindow = CreateWindowW(windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    ASSERT_NE(exitWindow, nullptr);
    SetWindowLongPtrW(exitWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_dialogs));
    const std::string before = Ini();

    RunSettings([&](HWND settings) {
        Click(settings, M::kNetworkButton);
        HWND network = AwaitDialog(L"ネットワーク設定", settings);
        SetText(network, N::kPort, L"8091");
        PostMessageW(exitWindow, kExitCommand, 0, 0);
        AwaitGone(network);
    });
    EXPECT_EQ(m_monitor.Settings().Port, 8091);
    EXPECT_EQ(Ini(), before);
    DestroyWindow(exitWindow);
}

} // namespace

namespace {

INT_PTR CALLBACK TemplateOnly(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// The program's own resources beside the settings dialogs: the launcher, the about box, the hidden tray
// window, the tray menu, the strings, the icons and the version.
TEST(Win32Resources, LauncherAboutBoxTrayWindowMenuStringsIconsAndVersion) {
    HINSTANCE module = GetModuleHandleW(nullptr);

    HWND launcher = CreateDialogParamW(module, MAKEINTRESOURCEW(102), nullptr, &TemplateOnly, 0);
    ASSERT_NE(launcher, nullptr);
    EXPECT_TRUE(GetWindowLongW(launcher, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    DestroyWindow(launcher);

    HWND tray = CreateDialogParamW(module, MAKEINTRESOURCEW(129), nullptr, &TemplateOnly, 0);
    ASSERT_NE(tray, nullptr);
    ExpectTemplate({129, "ﾀﾞｲｱﾛｸﾞ", 187, 93, {}});
    EXPECT_EQ(GetWindowLongW(tray, GWL_STYLE) & (WS_VISIBLE | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    DestroyWindow(tray);

    // The about box's picture shows the program's icon.
    HWND about = CreateDialogParamW(module, MAKEINTRESOURCEW(100), nullptr, &TemplateOnly, 0);
    ASSERT_NE(about, nullptr);
    EXPECT_NE(SendMessageW(GetWindow(about, GW_CHILD), STM_GETICON, 0, 0), 0);
    DestroyWindow(about);

    HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(130));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_EQ(GetMenuItemCount(popup), 2);
    wchar_t item[64] = {};
    GetMenuStringW(popup, 0, item, static_cast<int>(std::size(item)), MF_BYPOSITION);
    EXPECT_EQ(std::wstring(item), L"設定(&S)");
    EXPECT_EQ(GetMenuItemID(popup, 0), 32772u);
    GetMenuStringW(popup, 1, item, static_cast<int>(std::size(item)), MF_BYPOSITION);
    EXPECT_EQ(std::wstring(item), L"終了(&C)");
    EXPECT_EQ(GetMenuItemID(popup, 1), 32771u);
    DestroyMenu(menu);

    wchar_t text[128] = {};
    LoadStringW(module, 101, text, static_cast<int>(std::size(text)));
    EXPECT_EQ(std::wstring(text), L"Quorvantel のﾊﾞｰｼﾞｮﾝ情報(&A)...");
    LoadStringW(module, 103, text, static_cast<int>(std::size(text)));
    EXPECT_EQ(std::wstring(text), L"Windows ｿｹｯﾄの初期化に失敗しました。");

    for (int id : {128, 132, 133, 134, 135, 136, 137, 138, 139}) {
        for (int side : {16, 32}) {
            HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, side, side, LR_DEFAULTCOLOR);
            EXPECT_NE(icon, nullptr) << "icon " << id << " at " << side << " px";
            ICONINFO info{};
            BITMAP bitmap{};
            if (icon != nullptr && GetIconInfo(static_cast<HICON>(icon), &info)) {
                GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
                EXPECT_EQ(bitmap.bmWidth, side) << "icon " << id;
                DeleteObject(info.hbmColor);
                DeleteObject(info.hbmMask);
            }
            DestroyIcon(static_cast<HICON>(icon));
        }
    }

    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::vector<char> version(GetFileVersionInfoSizeW(path, nullptr));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(version.size()), version.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\041104B0\\FileDescription", &value, &length));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), L"tarvellin Ver2.10");
}

} // namespace
