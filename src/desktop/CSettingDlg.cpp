#include "desktop/CSettingDlg.h"

CSettingDlg::CSettingDlg(Monitor& monitor, QWidget* parent)
    : DialogView(parent, kSettingDialogLayout), m_driveDlg(monitor, this), m_netSet(this),
      m_model(monitor, m_netSet.Model()) {
    Build(m_model);
}

void CSettingDlg::Clicked(int id) {
    switch (id) {
    case SettingDialogModel::kOkButton:
        m_model.Handle(DialogEvent::OkButton);
        break;
    case SettingDialogModel::kUpdateButton:
        m_model.Handle(DialogEvent::UpdateButton);
        break;
    case SettingDialogModel::kDriveButton:
        m_driveDlg.RunModal(); // its result is not looked at
        break;
    case SettingDialogModel::kNetworkButton:
        m_model.RunNetworkSettings([this] { m_netSet.RunModal(); });
        break;
    default:
        m_model.CheckClicked(id);
        break;
    }
}
