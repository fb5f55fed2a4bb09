#pragma once

#include <windows.h>

#include <functional>

// The launcher: a dialog (102) that is never seen. Its initialisation runs the tray agent, whose loop is the
// program's message loop, and ends with the agent's result before the dialog could show. Its system menu
// leads to the about box (100).
class CQuorvantelDlg final {
public:
    // runAgent runs the tray agent until its exit command and returns its result.
    CQuorvantelDlg(HINSTANCE instance, std::function<INT_PTR()> runAgent);
    ~CQuorvantelDlg();
    CQuorvantelDlg(const CQuorvantelDlg&) = delete;
    CQuorvantelDlg& operator=(const CQuorvantelDlg&) = delete;

    // The agent's result, or -1 when the launcher could not be made.
    INT_PTR RunModal();

    // The system-menu command of the about item.
    static constexpr UINT kAboutCommand = 0x0010;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND window);
    bool OnPaint(HWND window);

    HINSTANCE m_instance;
    std::function<INT_PTR()> m_runAgent;
    HICON m_icon;
};
