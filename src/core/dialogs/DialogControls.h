#pragma once

#include <string>

// How a dialog run ended.
enum class DialogResult { Accepted, Rejected };

// The controls of one dialog window, reached by their resource ids: what a dialog model needs of a view.
// An id that names no control of the dialog is a programming error of the model.
class DialogControls {
public:
    virtual ~DialogControls() = default;

    // The text of an edit field or a static text.
    virtual std::string Text(int id) const = 0;
    // Shows a text in an edit field or a static text; an edit keeps its caret when the text is unchanged.
    virtual void SetText(int id, const std::string& text) = 0;
    // Keeps the user from typing or pasting more than maxChars characters into an edit field; a longer text
    // already in it can be shortened but not lengthened.
    virtual void LimitText(int id, int maxChars) = 0;
    virtual bool Checked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual bool Enabled(int id) const = 0;
    virtual void Enable(int id, bool enabled) = 0;
    // Shows a validation message over the dialog (showing the dialog first while it starts) and returns when
    // the user has closed it; then puts the focus on the control, its text selected.
    virtual void ShowMessage(int id, const std::string& message) = 0;
    // Ends the dialog's run with the result.
    virtual void End(DialogResult result) = 0;
};
