#include "CChildDlg.h"

#include "TrayIconSize.h"
#include "WideText.h"
#include "WindowEventSource.h"
#include "core/net/CommandListener.h"
#include "core/diagnostics/FixedTexts.h"
#include "core/diagnostics/Report.h"
#include "platform/Sockets.h"
#include "resource.h"
#ifdef TARVELLIN_WITH_DIALOG_VIEWS
#include "win32/dialogs/Win32Dialogs.h"
#endif

#include <algorithm>
#include <utility>

namespace {

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The functions of newer systems, looked up so that the program also starts where they are missing.
template <typename Function> Function SystemFunction(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    if (handle == nullptr) {
        handle = LoadLibraryW(module);
    }
    return handle == nullptr ? nullptr
                             : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

// The side the notification area shows the window's icon at: the small-icon size at the DPI of the window's
// screen (Windows 10 1607 and later), or at the system's DPI.
int TrayIconSideFor(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
    static const auto getDpiForWindow = SystemFunction<GetDpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
    static const auto getSystemMetricsForDpi =
        SystemFunction<GetSystemMetricsForDpiFunction>(L"user32.dll", "GetSystemMetricsForDpi");
    if (getDpiForWindow != nullptr && getSystemMetricsForDpi != nullptr && window != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        return TrayIconSide(static_cast<int>(dpi), getSystemMetricsForDpi(SM_CXSMICON, dpi));
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return TrayIconSide(dpi, GetSystemMetrics(SM_CXSMICON));
}

// The icon drawn at the side, or scaled down from the nearest larger drawing (never up from a smaller one).
HICON LoadIconAt(HINSTANCE instance, int resourceId, int side) {
    using LoadIconWithScaleDownFunction = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const auto loadIconWithScaleDown =
        SystemFunction<LoadIconWithScaleDownFunction>(L"comctl32.dll", "LoadIconWithScaleDown");
    HICON icon = nullptr;
    if (loadIconWithScaleDown != nullptr &&
        SUCCEEDED(loadIconWithScaleDown(instance, MAKEINTRESOURCEW(resourceId), side, side, &icon))) {
        return icon;
    }
    return static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
}

} // namespace

CChildDlg::CChildDlg(HINSTANCE instance, Platform& platform, const std::string& configurationPath)
    : m_instance(instance), m_core(platform, configurationPath, *this), m_driveModel(m_core.GetMonitor()),
      m_settingModel(m_core.GetMonitor(), m_networkModel),
      m_driver(m_core, [this](std::chrono::milliseconds delay) { Arm(delay); }) {}

CChildDlg::~CChildDlg() {
    RemoveTrayIcon();
    m_listener.reset();
    DestroyLevelIcons();
}

void CChildDlg::DestroyLevelIcons() {
    for (HICON& icon : m_levelIcons) {
        if (icon != nullptr) {
            DestroyIcon(icon);
            icon = nullptr;
        }
    }
}

void CChildDlg::LoadLevelIcons() {
    const int side = TrayIconSideFor(m_window);
    if (side == m_iconSide) {
        return;
    }
    DestroyLevelIcons();
    m_iconSide = side;
    for (std::size_t level = 0; level < m_levelIcons.size(); ++level) {
        m_levelIcons[level] = LoadIconAt(m_instance, IDI_LEVEL0 + static_cast<int>(level), side);
    }
    m_iconData.hIcon = m_levelIcons[m_shownLevel];
}

INT_PTR CChildDlg::RunModal() {
    m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    const INT_PTR result = DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_TRAY_AGENT), nullptr,
                                           &CChildDlg::DialogProc, reinterpret_cast<LPARAM>(this));
    m_window = nullptr; // the dialog's run destroyed it
    return result;
}

INT_PTR CALLBACK CChildDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CChildDlg*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_window = window;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CChildDlg*>(GetWindowLongPtrW(window, DWLP_USER));
    return self == nullptr ? FALSE : self->OnMessage(message, wParam, lParam);
}

INT_PTR CChildDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_events && m_events->OnMessage(message, wParam, lParam)) {
        return TRUE; // the command port's
    }
    switch (message) {
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return TRUE;
    case kTrayCallback:
        OnTrayCallback(static_cast<UINT>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case ID_TRAY_SETTINGS:
            OnSettingsCommand();
            break;
        case ID_TRAY_EXIT:
            OnExitCommand();
            break;
        default:
            break; // Enter and Esc (IDOK, IDCANCEL) never end the agent
        }
        return TRUE;
    case WM_CLOSE:
        // Closing the hidden window from outside (a task manager, a shutdown script) is the exit command.
        OnExitCommand();
        return TRUE;
    case WM_WINDOWPOSCHANGING:
        // The modal run shows its dialog once its queue is first empty: this one stays hidden all the same.
        reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
        return FALSE;
    case WM_DESTROY:
        RemoveTrayIcon();
        return FALSE;
    case WM_DPICHANGED:
        // The window's screen has another scale: the icon is drawn anew at the size the area shows there. The
        // hidden window keeps its size.
        LoadLevelIcons();
        if (m_iconAdded) {
            Shell_NotifyIconW(NIM_MODIFY, &m_iconData);
        }
        return TRUE;
    default:
        if (message == m_taskbarCreated && m_taskbarCreated != 0) {
            // The notification area has been made anew (Explorer restarted): the icon is not in it any more.
            m_iconAdded = false;
            LoadLevelIcons(); // the new area may come with another scale
            AddTrayIcon();
            return TRUE;
        }
        return FALSE;
    }
}

void CChildDlg::OnInitDialog() {
    m_iconData.cbSize = sizeof(m_iconData);
    m_iconData.hWnd = m_window;
    m_iconData.uID = 0;
    m_iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_iconData.uCallbackMessage = kTrayCallback;
    LoadLevelIcons();
    // Topmost, so that the warning box it owns comes up above other windows; hidden, at the screen's centre.
    SetWindowPos(m_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    SetWindowPos(m_window, HWND_TOP, GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                 SWP_HIDEWINDOW);
#ifdef TARVELLIN_WITH_DIALOG_VIEWS
    m_dialogs = std::make_unique<Win32Dialogs>(m_instance, m_settingModel, m_driveModel, m_networkModel);
#endif
    m_sockets = CreateSockets();
    m_events = std::make_unique<WindowEventSource>(m_window);
    m_listener = std::make_unique<CommandListener>(m_core.GetMonitor(), *m_events, *m_sockets);
    m_driver.Start([this](int port, const std::string& address) { m_listener->StartListening(port, address); });
    AddTrayIcon();
}

void CChildDlg::Arm(std::chrono::milliseconds delay) {
    if (m_window != nullptr) {
        SetTimer(m_window, kTickTimer, static_cast<UINT>(std::max<std::chrono::milliseconds::rep>(0, delay.count())),
                 nullptr);
    }
}

void CChildDlg::OnTimer(UINT_PTR id) {
    switch (id) {
    case kTickTimer:
        m_driver.OnTimer();
        break;
    case kTrayRetryTimer:
        AddTrayIcon();
        break;
    default:
        break;
    }
}

void CChildDlg::AddTrayIcon() {
    // A session that is still starting has no notification area yet: the agent runs on and the icon comes
    // when it is there. An icon that is there already (the area was not made anew after all) is updated.
    if (Shell_NotifyIconW(NIM_ADD, &m_iconData) || Shell_NotifyIconW(NIM_MODIFY, &m_iconData)) {
        m_iconAdded = true;
        KillTimer(m_window, kTrayRetryTimer);
        for (const std::string& text : std::exchange(m_waitingAnnouncements, {})) {
            ShowBalloon(text);
        }
        return;
    }
    m_iconAdded = false;
    SetTimer(m_window, kTrayRetryTimer, kTrayRetryMs, nullptr);
}

void CChildDlg::RemoveTrayIcon() {
    if (m_iconAdded) {
        Shell_NotifyIconW(NIM_DELETE, &m_iconData);
        m_iconAdded = false;
    }
    if (m_window != nullptr) {
        KillTimer(m_window, kTrayRetryTimer);
    }
}

void CChildDlg::ShowStatus(const std::string& tipText, int level) {
    const std::wstring tip = Widen(tipText);
    const std::size_t length = std::min(tip.size(), std::size(m_iconData.szTip) - 1);
    std::copy_n(tip.begin(), length, m_iconData.szTip);
    m_iconData.szTip[length] = L'\0';
    m_shownLevel = static_cast<std::size_t>(level >= 0 && level < 8 ? level : 0);
    m_iconData.hIcon = m_levelIcons[m_shownLevel];
    if (m_iconAdded && !Shell_NotifyIconW(NIM_MODIFY, &m_iconData)) {
        // The notification area has gone: add the icon again once it is back.
        m_iconAdded = false;
        SetTimer(m_window, kTrayRetryTimer, kTrayRetryMs, nullptr);
    }
}

int CChildDlg::ShowWarning(const std::string& text) {
    return m_driver.RunWarningBox([this, &text] {
        return MessageBoxW(m_window, Widen(text).c_str(), Widen(kWarningCaption).c_str(),
                           MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND) == IDOK
                   ? 1
                   : 0;
    });
}

void CChildDlg::Announce(const std::string& text) {
    if (m_iconAdded) {
        ShowBalloon(text);
        return;
    }
    // The line on stderr at once; the balloon once the notification area takes the icon.
    Report(text);
    if (m_waitingAnnouncements.size() >= kMostWaitingAnnouncements) {
        m_waitingAnnouncements.erase(m_waitingAnnouncements.begin());
    }
    m_waitingAnnouncements.push_back(text);
}

void CChildDlg::ShowBalloon(const std::string& text) {
    NOTIFYICONDATAW balloon = m_iconData;
    balloon.uFlags = NIF_INFO;
    balloon.dwInfoFlags = NIIF_WARNING;
    const std::wstring title = L"tarvellin";
    const std::wstring body = Widen(text);
    const std::size_t titleLength = std::min(title.size(), std::size(balloon.szInfoTitle) - 1);
    std::copy_n(title.begin(), titleLength, balloon.szInfoTitle);
    balloon.szInfoTitle[titleLength] = L'\0';
    const std::size_t bodyLength = std::min(body.size(), std::size(balloon.szInfo) - 1);
    std::copy_n(body.begin(), bodyLength, balloon.szInfo);
    balloon.szInfo[bodyLength] = L'\0';
    Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

void CChildDlg::OnTrayCallback(UINT mouseMessage) {
    switch (mouseMessage) {
    case WM_LBUTTONDBLCLK:
    case NIN_BALLOONUSERCLICK:
        OnSettingsCommand();
        break;
    case WM_RBUTTONDOWN:
        ShowTrayMenu();
        break;
    default:
        break;
    }
}

void CChildDlg::ShowTrayMenu() {
    POINT cursor{};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(m_window);
    HMENU menu = LoadMenuW(m_instance, MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (menu == nullptr) {
        return;
    }
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, m_window, nullptr);
    // WORKAROUND: a popup menu of a notification-area icon comes up only every second time unless a message
    // follows it into the queue.
    PostMessageW(m_window, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

void CChildDlg::OnSettingsCommand() {
#ifdef TARVELLIN_WITH_DIALOG_VIEWS
    m_dialogs->RunSettings(m_window);
#endif
    if (m_driver.ExitPending()) {
        EndLoop(); // the exit command waited for this dialog to close
    }
}

void CChildDlg::OnExitCommand() {
#ifdef TARVELLIN_WITH_DIALOG_VIEWS
    const bool dialogOpen = m_dialogs && m_dialogs->SettingsOpen();
    const auto closeDialog = [this] { m_dialogs->CloseForExit(); };
#else
    const bool dialogOpen = false;
    const auto closeDialog = [] {};
#endif
    if (m_driver.ExitNow(dialogOpen, closeDialog)) {
        EndLoop();
    }
}

void CChildDlg::EndLoop() {
    RemoveTrayIcon();
    KillTimer(m_window, kTickTimer);
    EndDialog(m_window, IDOK);
    // A warning box that is up ends with the agent rather than keeping the program alive.
    PostQuitMessage(0);
}
