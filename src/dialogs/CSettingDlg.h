#pragma once

#include "capacity/Monitor.h"
#include "dialogs/CDriveDlg.h"
#include "dialogs/CNetSet.h"
#include "dialogs/DialogMetrics.h"
#include "dialogs/KeyRoutingDialog.h"

class DataExchange;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The settings dialog (resource 131): shows the three capacity texts and edits the main drive's settings;
// opens the drive and network settings dialogs and starts refreshes. While its window is open the
// refresh cycle takes the values of its controls before measuring and shows the new values after.
class CSettingDlg : public KeyRoutingDialog, public DialogExchange {
    Q_OBJECT

public:
    explicit CSettingDlg(Monitor& monitor, QWidget* parent = nullptr);
    ~CSettingDlg() override;

    // Runs the dialog modally; returns Accepted or Rejected. Returns Rejected at once while it is already open.
    int RunModal();
    // Ends the dialog for the program's exit: the network settings dialog's OK when it is open, then this
    // dialog's OK; no refresh and no save. A dialog whose values fail validation stays open.
    void CloseForExit();
    // True while the dialog runs.
    bool IsWindowOpen() const { return m_running; }

    // Controls to settings, with validation; false when a control failed (its message has been shown) or
    // while a validation message of this dialog is already on screen.
    bool PullFromControls() override;
    // Settings to controls.
    void PushToControls() override;

    // OK without a refresh: takes the values and ends the dialog only when every control passed.
    void FrameworkOk();

    CDriveDlg& DriveDialog() { return m_driveDlg; }
    CNetSet& NetworkDialog() { return m_netSet; }

private:
    // The controls and their members, in resource order, for a push or a pull.
    void DoDataExchange(DataExchange& exchange);
    // Button 1000 and Enter: the refresh cycle, then OK.
    void OnOk();
    // Button 1009: the refresh cycle alone.
    void OnUpdate();
    // Button 1019: copies the network settings in, runs the network settings dialog, copies them back.
    void OnNetworkSettings();
    // A check box click: takes all values, then enables the dependent control when the member is not 0.
    void ApplyEnableRule(const int& member, QWidget* dependent);
    // Enter as button 1000, Esc as OK without refresh; true when the key was taken.
    bool PreTranslateKey(QKeyEvent* event) override;

    Monitor& m_monitor;
    DialogMetrics m_metrics;
    CDriveDlg m_driveDlg;
    CNetSet m_netSet;
    int m_sparePort = 0; // bound to the hidden field 1014; carries no setting
    bool m_running = false;

    QPushButton* m_okButton;
    QLabel* m_usedText;
    QLabel* m_totalText;
    QLabel* m_freeText;
    QLineEdit* m_pathEdit;
    QCheckBox* m_autoCheck;
    QLineEdit* m_timeEdit;
    QPushButton* m_updateButton;
    QLineEdit* m_directoryEdit;
    QCheckBox* m_gbyteCheck;
    QCheckBox* m_networkCheck;
    QLineEdit* m_sparePortEdit;
    QCheckBox* m_warningCheck;
    QLineEdit* m_nokoriEdit;
    QPushButton* m_detailButton;
    QCheckBox* m_otherDriveCheck;
    QPushButton* m_driveButton;
};
