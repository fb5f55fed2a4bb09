#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "core/capacity/Monitor.h"
#include "core/dialogs/DriveDialogModel.h"
#include "core/dialogs/NetworkDialogModel.h"
#include "core/dialogs/SettingDialogModel.h"
#include "platform/Platform.h"
#include "win32/dialogs/DialogResources.h"
#include "win32/dialogs/Win32Dialogs.h"

namespace {

using namespace std::chrono_literals;

constexpr int kNoId = -1;

// One control of a template, as the window shows it.
struct ControlRow {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text; // nullptr: the text is a value the dialog shows, checked elsewhere
    int x, y, width, height;
    bool shown = true; // false: hidden and disabled
};

const std::vector<ControlRow> kSettingsRows{
    {1000, L"Button", L"&OK", 39, 186, 18, 14},
    {1002, L"Static", nullptr, 7, 7, 77, 8},
    {1003, L"Static", nullptr, 7, 19, 77, 8},
    {1004, L"Static", nullptr, 7, 31, 77, 8},
    {1005, L"Edit", nullptr, 7, 46, 77, 14},
    {1006, L"Button", L"自動", 7, 65, 27, 10},
    {1007, L"Edit", L"5", 38, 62, 28, 14},
    {1010, L"Static", L"分毎", 69, 65, 15, 8},
    {1009, L"Button", L"更新(&S)", 58, 186, 26, 14},
    {kNoId, L"Static", L"ドライブを調べる", 23, 95, 48, 8},
    {1011, L"Edit", L"C", 7, 93, 14, 12},
    {1012, L"Button", L"GByte表示にする", 7, 80, 67, 10},
    {1013, L"Button", L"ネットワーク経由更新", 7, 169, 77, 10},
    {1015, L"Static", L"ポート", 65, 7, 19, 8, false},
    {1014, L"Edit", L"0", 56, 85, 28, 14, false},
    {1016, L"Button", L"残り容量警告表示", 7, 141, 69, 10},
    {1018, L"Edit", L"100", 21, 153, 31, 14},
    {kNoId, L"Static", L"MB以下で", 53, 155, 31, 8},
    {1019, L"Button", L"詳細", 7, 186, 23, 14},
    {1020, L"Button", L"他のドライブも調べる", 7, 110, 77, 10},
    {1001, L"Button", L"ドライブ設定", 34, 122, 50, 14},
};

const std::vector<ControlRow> kNetworkRows{
    {IDOK, L"Button", L"OK", 89, 70, 38, 14},
    {IDCANCEL, L"Button", L"ｷｬﾝｾﾙ", 135, 70, 40, 14},
    {kNoId, L"Static", L"ポート設定", 7, 38, 32, 8},
    {1005, L"Edit", L"8085", 40, 35, 34, 14},
    {1007, L"Edit", L"secret", 41, 17, 49, 14},
    {kNoId, L"Static", L"パスワード", 7, 20, 32, 8},
    {kNoId, L"Static", L"●ネットワーク機能を使用するにあったっての各種設定●", 7, 7, 166, 8},
    {kNoId, L"Static", L"※tarvellinの再起動必須", 75, 37, 78, 8},
    {kNoId, L"Static", L"パスなしの場合は空白", 91, 20, 67, 8},
    {1006, L"Button", L"コマンドなしで更新受け付ける", 7, 53, 102, 10},
    {1012, L"Button", L"ネットワーク経由での設定変更許可", 7, 67, 119, 10, false},
};

const std::vector<ControlRow> kDriveRows{
    {IDOK, L"Button", L"OK", 85, 202, 50, 14},
    {IDCANCEL, L"Button", L"ｷｬﾝｾﾙ", 145, 202, 50, 14},
    {kNoId, L"Static", L"監視したいHDDのドライブレターを連続で順に記述してください。", 7, 7, 188, 8},
    {1005, L"Edit", L"", 7, 20, 69, 14},
    {kNoId, L"Static", L"9個まで", 82, 23, 33, 8},
    {1007, L"Edit", L"", 15, 55, 180, 14},
    {kNoId, L"Static", L"１", 7, 59, 8, 8},
    {kNoId, L"Static", L"２", 7, 73, 8, 8},
    {kNoId, L"Static", L"左が1番として順に空き容量ファイル保存場所を指定してください", 7, 40, 188, 8},
    {1011, L"Edit", L"", 15, 71, 180, 14},
    {1014, L"Edit", L"", 15, 88, 180, 14},
    {kNoId, L"Static", L"３", 7, 91, 8, 8},
    {kNoId, L"Static", L"４", 7, 107, 8, 8},
    {kNoId, L"Static", L"５", 7, 123, 8, 8},
    {1018, L"Edit", L"", 15, 104, 180, 14},
    {1022, L"Edit", L"", 15, 119, 180, 14},
    {kNoId, L"Static", L"６", 7, 138, 8, 8},
    {1023, L"Edit", L"", 15, 135, 180, 14},
    {kNoId, L"Static", L"７", 7, 153, 8, 8},
    {1024, L"Edit", L"", 15, 151, 180, 14},
    {1025, L"Edit", L"", 15, 167, 180, 14},
    {1026, L"Edit", L"", 15, 184, 180, 14},
    {kNoId, L"Static", L"８", 7, 170, 8, 8},
    {kNoId, L"Static", L"９", 7, 187, 8, 8},
};

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

std::wstring ClassOf(HWND window) {
    wchar_t buffer[64] = {};
    return std::wstring(buffer, static_cast<std::size_t>(GetClassNameW(window, buffer, 64)));
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

// Every child of the dialog in creation order (which is the tab order): id, class, text, and its rectangle in
// dialog units; then the dialog's caption, size and font.
void ExpectLayout(HWND dialog, const wchar_t* caption, int width, int height, const std::vector<ControlRow>& rows) {
    SCOPED_TRACE(Utf8(caption));
    EXPECT_EQ(TextOf(dialog), caption);
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
    RECT client{};
    GetClientRect(dialog, &client);
    RECT expectedClient{0, 0, width, height};
    MapDialogRect(dialog, &expectedClient);
    EXPECT_EQ(client.right, expectedClient.right);
    EXPECT_EQ(client.bottom, expectedClient.bottom);

    auto font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW logFont{};
    ASSERT_NE(GetObjectW(font, sizeof logFont, &logFont), 0);
    EXPECT_EQ(std::wstring(logFont.lfFaceName), L"ＭＳ Ｐゴシック");
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(logFont.lfHeight, -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);

    std::size_t index = 0;
    for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        ASSERT_LT(index, rows.size()) << "more controls than expected";
        const ControlRow& row = rows[index++];
        SCOPED_TRACE("control " + std::to_string(index) + ", id " + std::to_string(row.id));
        EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(control))), row.id);
        EXPECT_EQ(ClassOf(control), row.windowClass);
        if (row.text != nullptr) {
            EXPECT_EQ(Utf8(TextOf(control)), Utf8(row.text));
        }
        // Position and size are converted each on its own, as the dialog manager does when it creates a control.
        RECT expected{row.x, row.y, row.width, row.height};
        MapDialogRect(dialog, &expected);
        RECT actual{};
        GetWindowRect(control, &actual);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        EXPECT_EQ(IsWindowVisible(control) != FALSE, row.shown);
        const LONG controlStyle = GetWindowLongW(control, GWL_STYLE);
        if (!row.shown) {
            EXPECT_FALSE(IsWindowEnabled(control));
        } else if (row.windowClass != std::wstring(L"Static")) {
            EXPECT_TRUE(controlStyle & WS_TABSTOP);
        }
        if (row.windowClass == std::wstring(L"Edit")) {
            EXPECT_TRUE(controlStyle & ES_AUTOHSCROLL);
            // The dialog manager draws a bordered edit with a sunken edge instead.
            EXPECT_TRUE((controlStyle & WS_BORDER) || (GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
        }
        if (row.windowClass == std::wstring(L"Button") && row.id > IDCANCEL && row.text[0] != L'&' &&
            (controlStyle & BS_TYPEMASK) != BS_PUSHBUTTON) {
            EXPECT_EQ(controlStyle & BS_TYPEMASK, BS_AUTOCHECKBOX);
        }
    }
    EXPECT_EQ(index, rows.size());
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
        ExpectLayout(settings, L"tarvellin Ver2.10", 91, 207, kSettingsRows);
        EXPECT_EQ(TextOf(GetDlgItem(settings, IDC_SETTINGS_USED)), used);
        EXPECT_EQ(Utf8(TextOf(GetDlgItem(settings, IDC_SETTINGS_PATH))), m_folder.Folder());

        // An enable rule: the minutes follow the check box 自動.
        EXPECT_TRUE(IsEnabled(settings, IDC_SETTINGS_TIME));
        Click(settings, IDC_SETTINGS_AUTO);
        Settle(settings);
        EXPECT_FALSE(IsEnabled(settings, IDC_SETTINGS_TIME));
        Click(settings, IDC_SETTINGS_AUTO);
        Settle(settings);
        EXPECT_TRUE(IsEnabled(settings, IDC_SETTINGS_TIME));

        // The network dialog: Enter does nothing, a port out of range brings a message, Esc accepts.
        Click(settings, IDC_SETTINGS_DETAILS);
        HWND network = AwaitDialog(L"ネットワーク設定", settings);
        ExpectLayout(network, L"ネットワーク設定", 182, 91, kNetworkRows);
        PressKey(network, IDC_NETWORK_PORT, VK_RETURN);
        Settle(network);
        EXPECT_TRUE(IsWindow(network));
        SetText(network, IDC_NETWORK_PORT, L"65536");
        Click(network, IDOK);
        HWND message = AwaitDialog(L"tarvellin", network);
        EXPECT_NE(Utf8(TextOf(GetDlgItem(message, 0xFFFF))).find("65535"), std::string::npos);
        Click(message, IDOK);
        AwaitGone(message);
        Settle(network);
        EXPECT_TRUE(IsWindow(network));
        SetText(network, IDC_NETWORK_PORT, L"8090");
        PressKey(network, IDC_NETWORK_PORT, VK_ESCAPE);
        AwaitGone(network);

        // The drive dialog: a letter that names no drive vanishes; one folder edit per letter; Cancel.
        Click(settings, IDC_SETTINGS_DRIVES);
        HWND drives = AwaitDialog(L"ﾀﾞｲｱﾛｸﾞ", settings);
        ExpectLayout(drives, L"ﾀﾞｲｱﾛｸﾞ", 202, 223, kDriveRows);
        const std::wstring typed = std::wstring(L"C") + UnusedLetter();
        SetText(drives, IDC_DRIVES_LETTERS, typed.c_str());
        Settle(drives);
        EXPECT_EQ(TextOf(GetDlgItem(drives, IDC_DRIVES_LETTERS)), L"C");
        EXPECT_TRUE(IsEnabled(drives, IDC_DRIVES_FOLDER1));
        EXPECT_FALSE(IsEnabled(drives, IDC_DRIVES_FOLDER2));
        Click(drives, IDCANCEL);
        AwaitGone(drives);

        // 更新: the status file appears under the free text.
        Click(settings, IDC_SETTINGS_UPDATE);
        statusFileSeen = WaitFor([&] {
            const std::string name = Utf8(TextOf(GetDlgItem(settings, IDC_SETTINGS_FREE)));
            return !name.empty() && GetFileAttributesW((m_folder.Path() / std::filesystem::u8path(name)).c_str()) !=
                                        INVALID_FILE_ATTRIBUTES;
        });

        // Enter in an edit: refresh, then the values are taken and the dialog ends.
        SetText(settings, IDC_SETTINGS_TIME, L"7");
        PressKey(settings, IDC_SETTINGS_TIME, VK_RETURN);
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
        SetText(settings, IDC_SETTINGS_TIME, L"9");
        PressKey(settings, IDC_SETTINGS_PATH, VK_ESCAPE);
    });
    EXPECT_EQ(m_monitor.Settings().Time, 9);
    EXPECT_EQ(Ini(), before);

    RunSettings([](HWND settings) {
        SetText(settings, IDC_SETTINGS_TIME, L"11");
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
        Click(settings, IDC_SETTINGS_DETAILS);
        HWND network = AwaitDialog(L"ネットワーク設定", settings);
        SetText(network, IDC_NETWORK_PORT, L"8091");
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
    ExpectLayout(launcher, L"Quorvantel", 319, 200,
                 {{IDOK, L"Button", L"OK", 260, 7, 50, 14},
                  {IDCANCEL, L"Button", L"ｷｬﾝｾﾙ", 260, 23, 50, 14},
                  {kNoId, L"Static", L"TODO: ﾀﾞｲｱﾛｸﾞのｺﾝﾄﾛｰﾙをここに配置", 50, 90, 200, 8}});
    EXPECT_TRUE(GetWindowLongW(launcher, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(GetWindowLongW(GetDlgItem(launcher, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    DestroyWindow(launcher);

    HWND tray = CreateDialogParamW(module, MAKEINTRESOURCEW(129), nullptr, &TemplateOnly, 0);
    ASSERT_NE(tray, nullptr);
    ExpectLayout(tray, L"ﾀﾞｲｱﾛｸﾞ", 187, 93, {});
    EXPECT_EQ(GetWindowLongW(tray, GWL_STYLE) & (WS_VISIBLE | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    DestroyWindow(tray);

    // The about box's picture takes the icon's size, so its rectangle is not that of the template.
    HWND about = CreateDialogParamW(module, MAKEINTRESOURCEW(100), nullptr, &TemplateOnly, 0);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(TextOf(about), L"Quorvantelのﾊﾞｰｼﾞｮﾝ情報");
    std::vector<std::pair<int, std::wstring>> children;
    for (HWND control = GetWindow(about, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        children.emplace_back(static_cast<short>(GetDlgCtrlID(control)), ClassOf(control) + L" " + TextOf(control));
    }
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(children[0].first, kNoId);
    EXPECT_NE(SendMessageW(GetWindow(about, GW_CHILD), STM_GETICON, 0, 0), 0);
    EXPECT_EQ(children[1], (std::pair<int, std::wstring>{kNoId, L"Static Quorvantel Version 1.0"}));
    EXPECT_EQ(children[3], (std::pair<int, std::wstring>{IDOK, L"Button OK"}));
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
