#pragma once

#include "core/dialogs/SettingDialogModel.h"
#include "desktop/CDriveDlg.h"
#include "desktop/CNetSet.h"
#include "desktop/DialogView.h"

// The settings dialog (resource 131) bound to its model; opens the drive and network settings dialogs.
class CSettingDlg : public DialogView {
    Q_OBJECT

public:
    explicit CSettingDlg(Monitor& monitor, QWidget* parent = nullptr);

    // Ends the dialog for the program's exit (see SettingDialogModel::CloseForExit).
    void CloseForExit() { m_model.CloseForExit(); }
    // True while the dialog runs.
    bool IsWindowOpen() const { return m_model.Running(); }

    SettingDialogModel& Model() { return m_model; }
    CDriveDlg& DriveDialog() { return m_driveDlg; }
    CNetSet& NetworkDialog() { return m_netSet; }

private:
    void Clicked(int id) override;

    CDriveDlg m_driveDlg;
    CNetSet m_netSet;
    SettingDialogModel m_model;
};
