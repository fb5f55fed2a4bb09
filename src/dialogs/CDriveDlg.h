#pragma once

#include <QDialog>

#include <array>

#include "dialogs/DialogMetrics.h"
#include "settings/MonitorSettings.h"

class DataExchange;
class Monitor;
class QLineEdit;
class QPushButton;

// The drive settings dialog (resource 141): the letters of the other drives and the folder of each slot.
// It edits the settings in place; it neither saves them nor starts a refresh.
class CDriveDlg : public QDialog {
    Q_OBJECT

public:
    explicit CDriveDlg(Monitor& monitor, QWidget* parent = nullptr);

    // Shows the dialog and returns when it ends; the result is Accepted or Rejected.
    int RunModal();
    // OK: takes the values with validation and ends the dialog only when every control passed.
    void FrameworkOk();

    // Controls to settings; false when a control failed (its message has been shown) or while a validation
    // message of this dialog is already on screen.
    bool PullFromControls();
    // Settings to controls, without running the letters-change handler.
    void PushToControls();

private:
    // The controls and their members, in resource order, for a push or a pull; the controls' notifications
    // are held back meanwhile.
    void DoDataExchange(DataExchange& exchange);
    // Takes the values, filters the letters, shows the result and enables the first n folder edits.
    void OnLettersChanged();

    Monitor& m_monitor;
    DialogMetrics m_metrics;
    bool m_exchanging = false; // notifications of the controls are held back while they are filled
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QLineEdit* m_lettersEdit;
    std::array<QLineEdit*, kDriveSlots> m_folderEdits{};
};
