#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "core/dialogs/DialogControls.h"

class DialogModel;

// One dialog window from a template of the resource script, bound to its model by control id: it shows and
// reads the controls, and hands clicks, Enter, Esc and the close box to the model, which decides.
class DialogWindow final : public DialogControls {
public:
    // A click on a button or a check box, or a change of an edit's text (EN_CHANGE), by control id.
    using CommandHandler = std::function<void(int id, int code)>;

    DialogWindow(HINSTANCE instance, int resourceId, DialogModel& model);
    ~DialogWindow() override;
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // The handler of the dialog's own commands; IDOK and IDCANCEL go to it as well.
    void OnCommand(CommandHandler handler) { m_onCommand = std::move(handler); }

    // Runs the dialog modally over owner. False at once, showing nothing, while it runs already.
    bool RunModal(HWND owner);
    // The dialog's window while it runs, else null.
    HWND Window() const { return m_window; }

    std::string Text(int id) const override;
    void SetText(int id, const std::string& text) override;
    void LimitText(int id, int maxChars) override;
    bool Checked(int id) const override;
    void SetChecked(int id, bool checked) override;
    bool Enabled(int id) const override;
    void Enable(int id, bool enabled) override;
    void ShowMessage(int id, const std::string& message) override;
    void End(DialogResult result) override;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MessageFilter(int code, WPARAM wParam, LPARAM lParam);
    // Enter and Esc aimed at this dialog or one of its controls go to the model first; true when it took them.
    bool RouteKey(const MSG& message);
    HWND Control(int id) const;

    HINSTANCE m_instance;
    int m_resourceId;
    DialogModel& m_model;
    CommandHandler m_onCommand;
    HWND m_window = nullptr;
    bool m_starting = false;         // from the start of the run until DialogBoxParamW returns
    DialogWindow* m_outer = nullptr; // the dialog that ran when this one started
};
