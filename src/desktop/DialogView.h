#pragma once

#include <QDialog>

#include <initializer_list>
#include <map>
#include <string>

#include "core/dialogs/DialogControls.h"
#include "desktop/DialogMetrics.h"

class DialogModel;
class QCloseEvent;
class QKeyEvent;

// A dialog window drawn from a table of controls and bound to its model by control id: the view shows and
// reads the controls, and forwards clicks, Enter, Esc and the close box to the model, which decides.
class DialogView : public QDialog, public DialogControls {
    Q_OBJECT

public:
    // Runs the dialog; returns Accepted or Rejected. Returns Rejected at once while it runs already.
    int RunModal();

protected:
    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;

    enum class Kind {
        Label,         // a static text; id 0 for one without an id
        Edit,          // an edit field
        PasswordEdit,  // an edit field that masks its text
        Check,         // a check box
        Button,        // a push button
        DefaultButton, // the push button that Enter presses when no other button has the focus
        CommandButton, // a push button that never becomes the default one
    };
    // One control of the resource, at its position in dialog units.
    struct ControlSpec {
        Kind kind;
        int id;
        const char* caption;
        int x, y, width, height;
    };

    // A dialog with its resource id, title and size in dialog units.
    DialogView(QWidget* parent, int resourceId, const char* title, int width, int height);
    // Creates the controls in resource order, which is also the tab order, and binds them to the model.
    void Build(DialogModel& model, std::initializer_list<ControlSpec> controls);
    // Controls that exist but are never shown or enabled.
    void HideForGood(std::initializer_list<int> ids);

    // The control with the id.
    template <class Control> Control* ControlById(int id) const { return qobject_cast<Control*>(m_controls.at(id)); }

    // A click on a button or a check box; this one hands OK (id 1) and Cancel (id 2) to the model.
    virtual void Clicked(int id);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Enter and Esc go to the model first; true when it took the key.
    bool RouteKey(const QKeyEvent* event);

    std::string Text(int id) const override;
    void SetText(int id, const std::string& text) override;
    void LimitText(int id, int maxChars) override;
    bool Checked(int id) const override;
    void SetChecked(int id, bool checked) override;
    bool Enabled(int id) const override;
    void Enable(int id, bool enabled) override;
    void ShowMessage(int id, const std::string& message) override;
    void End(DialogResult result) override;

    DialogMetrics m_metrics;
    DialogModel* m_model = nullptr;
    std::map<int, QWidget*> m_controls;
    QWidget* m_firstTabStop = nullptr;
};
