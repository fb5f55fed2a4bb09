#pragma once

#include <string>

#include "dialogs/DialogMetrics.h"
#include "dialogs/KeyRoutingDialog.h"

class DataExchange;
class QCheckBox;
class QLineEdit;
class QPushButton;

// The network settings dialog (resource 140): port, password and the two network switches. It holds its
// own copies of the four values; the settings dialog copies them in before a run and back after it.
class CNetSet : public KeyRoutingDialog {
    Q_OBJECT

public:
    explicit CNetSet(QWidget* parent = nullptr);

    // Shows the dialog and returns when it ends; the result is Accepted or Rejected.
    int RunModal();
    // OK: takes the values with validation and ends the dialog only when every control passed.
    void FrameworkOk();

    // Controls to members; false when a control failed (its message has been shown) or while a validation
    // message of this dialog is already on screen.
    bool PullFromControls();
    // Members to controls.
    void PushToControls();

    // 1 from the copy-in before a run until the copy-out after it.
    int m_networkDialogOpen = 0;
    int m_port = 0;
    std::string m_password;
    int m_refreshWithoutCommand = 0; // NetKoushin
    int m_changeOverNetwork = 0;     // EnbChange, on the hidden check box

private:
    // The controls and their members, in resource order, for a push or a pull.
    void DoDataExchange(DataExchange& exchange);
    // Enter does nothing, Esc is OK; true when the key was taken.
    bool PreTranslateKey(QKeyEvent* event) override;

    DialogMetrics m_metrics;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QLineEdit* m_portEdit;
    QLineEdit* m_passwordEdit;
    QCheckBox* m_refreshCheck;
    QCheckBox* m_changeCheck;
};
