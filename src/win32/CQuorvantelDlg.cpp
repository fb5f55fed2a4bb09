#include "CQuorvantelDlg.h"

#include "resource.h"

#include <utility>

CQuorvantelDlg::CQuorvantelDlg(HINSTANCE instance, std::function<INT_PTR()> runAgent)
    : m_instance(instance), m_runAgent(std::move(runAgent)),
      m_icon(LoadIconW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON))) {}

CQuorvantelDlg::~CQuorvantelDlg() = default; // icons from LoadIcon are shared and never destroyed

INT_PTR CQuorvantelDlg::RunModal() {
    return DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_LAUNCHER), nullptr, &CQuorvantelDlg::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CQuorvantelDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<CQuorvantelDlg*>(lParam)->OnInitDialog(window);
        return TRUE;
    }
    auto* self = reinterpret_cast<CQuorvantelDlg*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == kAboutCommand) {
            DialogBoxParamW(self->m_instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, &CQuorvantelDlg::AboutProc, 0);
            return TRUE;
        }
        return FALSE;
    case WM_PAINT:
        return self->OnPaint(window) ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(self->m_icon);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK CQuorvantelDlg::AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void CQuorvantelDlg::OnInitDialog(HWND window) {
    if (HMENU systemMenu = GetSystemMenu(window, FALSE); systemMenu != nullptr) {
        wchar_t about[128] = {};
        if (LoadStringW(m_instance, IDS_ABOUTBOX, about, static_cast<int>(std::size(about))) > 0) {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, kAboutCommand, about);
        }
    }
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    // The agent's loop runs here, so the launcher ends before its own loop could show it.
    EndDialog(window, m_runAgent());
}

bool CQuorvantelDlg::OnPaint(HWND window) {
    if (!IsIconic(window)) {
        return false;
    }
    PAINTSTRUCT paint{};
    HDC context = BeginPaint(window, &paint);
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client{};
    GetClientRect(window, &client);
    DrawIcon(context, (client.right - client.left - iconWidth + 1) / 2,
             (client.bottom - client.top - iconHeight + 1) / 2, m_icon);
    EndPaint(window, &paint);
    return true;
}
