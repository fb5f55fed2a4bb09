#pragma once

#include <QDialog>

#include <map>
#include <string>

#include "core/dialogs/DialogControls.h"
#include "core/dialogs/DialogLayouts.h"
#include "desktop/DialogMetrics.h"

class DialogModel;
class QCloseEvent;
class QKeyEvent;

// A dialog window drawn from its layout table and bound to its model by control id: the view shows and
// reads the controls, and forwards clicks, Enter, Esc and the close box to the model, which decides.
class DialogView : public QDialog, public DialogControls {
    Q_OBJECT

public:
    // Runs the dialog; returns Accepted or Rejected. Returns Rejected at once while it runs already.
    int RunModal();

protected:
    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;

    // A dialog drawn from its layout: its resource id, caption and size.
    DialogView(QWidget* parent, const DialogLayout& layout);
    // Creates the layout's controls in template order, which is also the tab order, and binds them to the model.
    void Build(DialogModel& model);

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

    const DialogLayout& m_layout;
    DialogMetrics m_metrics;
    DialogModel* m_model = nullptr;
    std::map<int, QWidget*> m_controls;
    QWidget* m_firstTabStop = nullptr;
};
