#include "win32/dialogs/DialogWindow.h"

#include "core/dialogs/DialogModel.h"

namespace {

// The innermost of our dialogs that runs now, and the hook that shows it the keys first.
DialogWindow* g_innermost = nullptr;
HHOOK g_filter = nullptr;

std::wstring Wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

DialogWindow::DialogWindow(HINSTANCE instance, int resourceId, DialogModel& model)
    : m_instance(instance), m_resourceId(resourceId), m_model(model) {
    m_model.Bind(*this);
}

DialogWindow::~DialogWindow() = default;

bool DialogWindow::RunModal(HWND owner) {
    if (m_window != nullptr || m_starting || m_model.Running()) {
        return false;
    }
    m_outer = g_innermost;
    if (g_filter == nullptr) {
        // The dialog manager's loop offers every message to this filter before the dialog sees it: the one
        // place where Enter and Esc can be taken before a focused button or edit acts on them.
        g_filter = SetWindowsHookExW(WH_MSGFILTER, MessageFilter, nullptr, GetCurrentThreadId());
    }
    m_starting = true;
    DialogBoxParamW(m_instance, MAKEINTRESOURCEW(m_resourceId), owner, Procedure, reinterpret_cast<LPARAM>(this));
    m_starting = false;
    g_innermost = m_outer;
    if (g_innermost == nullptr && g_filter != nullptr) {
        UnhookWindowsHookEx(g_filter);
        g_filter = nullptr;
    }
    return true;
}

INT_PTR CALLBACK DialogWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogWindow*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_window = window;
        g_innermost = self;
        self->m_model.Open();
        return TRUE; // the focus goes to the first tab stop
    }
    auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_COMMAND:
        if (self->m_onCommand) {
            self->m_onCommand(LOWORD(wParam), HIWORD(wParam));
        }
        return TRUE;
    case WM_CLOSE:
        self->m_model.Handle(DialogEvent::CloseBox);
        return TRUE;
    case WM_DESTROY:
        self->m_model.Closed();
        self->m_window = nullptr;
        SetWindowLongPtrW(window, DWLP_USER, 0);
        return FALSE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK DialogWindow::MessageFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && g_innermost != nullptr && g_innermost->RouteKey(*reinterpret_cast<const MSG*>(lParam))) {
        return 1;
    }
    return CallNextHookEx(g_filter, code, wParam, lParam);
}

bool DialogWindow::RouteKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || m_window == nullptr ||
        (message.hwnd != m_window && !IsChild(m_window, message.hwnd))) {
        return false;
    }
    switch (message.wParam) {
    case VK_RETURN:
        return m_model.Handle(DialogEvent::Enter);
    case VK_ESCAPE:
        return m_model.Handle(DialogEvent::Escape);
    default:
        return false;
    }
}

HWND DialogWindow::Control(int id) const {
    return GetDlgItem(m_window, id);
}

std::string DialogWindow::Text(int id) const {
    return Narrow(WindowText(Control(id)));
}

void DialogWindow::SetText(int id, const std::string& text) {
    const std::wstring shown = Wide(text);
    // Writing only changed text keeps the caret where the user left it while a refresh refills the dialog.
    if (WindowText(Control(id)) != shown) {
        SetWindowTextW(Control(id), shown.c_str());
    }
}

void DialogWindow::LimitText(int id, int maxChars) {
    SendMessageW(Control(id), EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
}

bool DialogWindow::Checked(int id) const {
    return IsDlgButtonChecked(m_window, id) == BST_CHECKED;
}

void DialogWindow::SetChecked(int id, bool checked) {
    CheckDlgButton(m_window, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool DialogWindow::Enabled(int id) const {
    return IsWindowEnabled(Control(id)) != FALSE;
}

void DialogWindow::Enable(int id, bool enabled) {
    EnableWindow(Control(id), enabled ? TRUE : FALSE);
}

void DialogWindow::ShowMessage(int id, const std::string& message) {
    // A message raised while the dialog starts comes with its dialog, over it, not alone in a corner.
    if (!IsWindowVisible(m_window)) {
        ShowWindow(m_window, SW_SHOW);
    }
    MessageBoxW(m_window, Wide(message).c_str(), L"tarvellin", MB_OK | MB_ICONEXCLAMATION);
    HWND control = Control(id);
    SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageW(control, EM_SETSEL, 0, -1);
}

void DialogWindow::End(DialogResult result) {
    EndDialog(m_window, result == DialogResult::Accepted ? IDOK : IDCANCEL);
}
