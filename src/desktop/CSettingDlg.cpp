#include "desktop/CSettingDlg.h"

CSettingDlg::CSettingDlg(Monitor& monitor, QWidget* parent)
    : DialogView(parent, 131, "tarvellin Ver2.10", 91, 207), m_driveDlg(monitor, this), m_netSet(this),
      m_model(monitor, m_netSet.Model()) {
    using M = SettingDialogModel;
    Build(m_model, {
                       {Kind::CommandButton, M::kOkButton, "&OK", 39, 186, 18, 14},
                       {Kind::Label, M::kUsedText, "Static", 7, 7, 77, 8},
                       {Kind::Label, M::kTotalText, "Static", 7, 19, 77, 8},
                       {Kind::Label, M::kFreeText, "Static", 7, 31, 77, 8},
                       {Kind::Edit, M::kPath, "", 7, 46, 77, 14},
                       {Kind::Check, M::kAutoCheck, "自動", 7, 65, 27, 10},
                       {Kind::Edit, M::kTime, "", 38, 62, 28, 14},
                       {Kind::Label, 1010, "分毎", 69, 65, 15, 8},
                       {Kind::CommandButton, M::kUpdateButton, "更新(&S)", 58, 186, 26, 14},
                       {Kind::Label, 0, "ドライブを調べる", 23, 95, 48, 8},
                       {Kind::Edit, M::kDirectory, "", 7, 93, 14, 12},
                       {Kind::Check, M::kGByteCheck, "GByte表示にする", 7, 80, 67, 10},
                       {Kind::Check, M::kNetWorkCheck, "ネットワーク経由更新", 7, 169, 77, 10},
                       {Kind::Label, 1015, "ポート", 65, 7, 19, 8},
                       {Kind::Edit, M::kSparePort, "", 56, 85, 28, 14},
                       {Kind::Check, M::kKeikokuCheck, "残り容量警告表示", 7, 141, 69, 10},
                       {Kind::Edit, M::kNokori, "", 21, 153, 31, 14},
                       {Kind::Label, 0, "MB以下で", 53, 155, 31, 8},
                       {Kind::CommandButton, M::kNetworkButton, "詳細", 7, 186, 23, 14},
                       {Kind::Check, M::kOtherDriveCheck, "他のドライブも調べる", 7, 110, 77, 10},
                       {Kind::CommandButton, M::kDriveButton, "ドライブ設定", 34, 122, 50, 14},
                   });
    HideForGood({1015, M::kSparePort});
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
