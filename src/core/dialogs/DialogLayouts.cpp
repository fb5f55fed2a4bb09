#include "core/dialogs/DialogLayouts.h"

#include <array>

#include "core/dialogs/DriveDialogModel.h"
#include "core/dialogs/NetworkDialogModel.h"
#include "core/dialogs/SettingDialogModel.h"

namespace {

using Kind = ControlKind;

// The ids of the dialog manager's OK and Cancel.
constexpr int kOk = 1;
constexpr int kCancel = 2;

constexpr std::array kAboutControls{
    ControlLayout{kNoControlId, Kind::Icon, "", 11, 17, 20, 20},
    ControlLayout{kNoControlId, Kind::Text, "Quorvantel Version 1.0", 40, 10, 119, 8, kNoPrefix},
    ControlLayout{kNoControlId, Kind::Text, "ドライブ空容量モニター tarvellin", 40, 25, 119, 8},
    ControlLayout{kOk, Kind::DefaultButton, "OK", 178, 7, 50, 14},
};

constexpr std::array kLauncherControls{
    ControlLayout{kOk, Kind::DefaultButton, "OK", 260, 7, 50, 14},
    ControlLayout{kCancel, Kind::PushButton, "ｷｬﾝｾﾙ", 260, 23, 50, 14},
    ControlLayout{kNoControlId, Kind::Text, "TODO: ﾀﾞｲｱﾛｸﾞのｺﾝﾄﾛｰﾙをここに配置", 50, 90, 200, 8},
};

constexpr std::array kSettingControls{
    ControlLayout{SettingDialogModel::kOkButton, Kind::PushButton, "&OK", 39, 186, 18, 14},
    ControlLayout{SettingDialogModel::kUsedText, Kind::Text, "Static", 7, 7, 77, 8},
    ControlLayout{SettingDialogModel::kTotalText, Kind::Text, "Static", 7, 19, 77, 8},
    ControlLayout{SettingDialogModel::kFreeText, Kind::Text, "Static", 7, 31, 77, 8},
    ControlLayout{SettingDialogModel::kPath, Kind::Edit, "", 7, 46, 77, 14},
    ControlLayout{SettingDialogModel::kAutoCheck, Kind::CheckBox, "自動", 7, 65, 27, 10},
    ControlLayout{SettingDialogModel::kTime, Kind::Edit, "", 38, 62, 28, 14},
    ControlLayout{SettingDialogModel::kMinutesText, Kind::Text, "分毎", 69, 65, 15, 8},
    ControlLayout{SettingDialogModel::kUpdateButton, Kind::PushButton, "更新(&S)", 58, 186, 26, 14},
    ControlLayout{kNoControlId, Kind::Text, "ドライブを調べる", 23, 95, 48, 8},
    ControlLayout{SettingDialogModel::kDirectory, Kind::Edit, "", 7, 93, 14, 12},
    ControlLayout{SettingDialogModel::kGByteCheck, Kind::CheckBox, "GByte表示にする", 7, 80, 67, 10},
    ControlLayout{SettingDialogModel::kNetWorkCheck, Kind::CheckBox, "ネットワーク経由更新", 7, 169, 77, 10},
    ControlLayout{SettingDialogModel::kPortLabel, Kind::Text, "ポート", 65, 7, 19, 8, kNeverShown},
    ControlLayout{SettingDialogModel::kSparePort, Kind::Edit, "", 56, 85, 28, 14, kNeverShown},
    ControlLayout{SettingDialogModel::kKeikokuCheck, Kind::CheckBox, "残り容量警告表示", 7, 141, 69, 10},
    ControlLayout{SettingDialogModel::kNokori, Kind::Edit, "", 21, 153, 31, 14},
    ControlLayout{kNoControlId, Kind::Text, "MB以下で", 53, 155, 31, 8},
    ControlLayout{SettingDialogModel::kNetworkButton, Kind::PushButton, "詳細", 7, 186, 23, 14},
    ControlLayout{SettingDialogModel::kOtherDriveCheck, Kind::CheckBox, "他のドライブも調べる", 7, 110, 77, 10},
    ControlLayout{SettingDialogModel::kDriveButton, Kind::PushButton, "ドライブ設定", 34, 122, 50, 14},
};

constexpr std::array kNetworkControls{
    ControlLayout{NetworkDialogModel::kOkButton, Kind::DefaultButton, "OK", 89, 70, 38, 14},
    ControlLayout{NetworkDialogModel::kCancelButton, Kind::PushButton, "ｷｬﾝｾﾙ", 135, 70, 40, 14},
    ControlLayout{kNoControlId, Kind::Text, "ポート設定", 7, 38, 32, 8},
    ControlLayout{NetworkDialogModel::kPort, Kind::Edit, "", 40, 35, 34, 14},
    ControlLayout{NetworkDialogModel::kPassword, Kind::Edit, "", 41, 17, 49, 14, kPassword},
    ControlLayout{kNoControlId, Kind::Text, "パスワード", 7, 20, 32, 8},
    ControlLayout{kNoControlId, Kind::Text, "●ネットワーク機能を使用するにあったっての各種設定●", 7, 7, 166, 8},
    ControlLayout{kNoControlId, Kind::Text, "※tarvellinの再起動必須", 75, 37, 78, 8},
    ControlLayout{kNoControlId, Kind::Text, "パスなしの場合は空白", 91, 20, 67, 8},
    ControlLayout{NetworkDialogModel::kRefreshCheck, Kind::CheckBox, "コマンドなしで更新受け付ける", 7, 53, 102, 10},
    ControlLayout{NetworkDialogModel::kChangeCheck, Kind::CheckBox, "ネットワーク経由での設定変更許可", 7, 67, 119, 10,
                  kNeverShown},
};

constexpr const auto& kFolder = DriveDialogModel::kFolderIds;

constexpr std::array kDriveControls{
    ControlLayout{DriveDialogModel::kOkButton, Kind::DefaultButton, "OK", 85, 202, 50, 14},
    ControlLayout{DriveDialogModel::kCancelButton, Kind::PushButton, "ｷｬﾝｾﾙ", 145, 202, 50, 14},
    ControlLayout{kNoControlId, Kind::Text, "監視したいHDDのドライブレターを連続で順に記述してください。", 7, 7, 188,
                  8},
    ControlLayout{DriveDialogModel::kLetters, Kind::Edit, "", 7, 20, 69, 14},
    ControlLayout{kNoControlId, Kind::Text, "9個まで", 82, 23, 33, 8},
    ControlLayout{kFolder[0], Kind::Edit, "", 15, 55, 180, 14},
    ControlLayout{kNoControlId, Kind::Text, "１", 7, 59, 8, 8},
    ControlLayout{kNoControlId, Kind::Text, "２", 7, 73, 8, 8},
    ControlLayout{kNoControlId, Kind::Text, "左が1番として順に空き容量ファイル保存場所を指定してください", 7, 40, 188,
                  8},
    ControlLayout{kFolder[1], Kind::Edit, "", 15, 71, 180, 14},
    ControlLayout{kFolder[2], Kind::Edit, "", 15, 88, 180, 14},
    ControlLayout{kNoControlId, Kind::Text, "３", 7, 91, 8, 8},
    ControlLayout{kNoControlId, Kind::Text, "４", 7, 107, 8, 8},
    ControlLayout{kNoControlId, Kind::Text, "５", 7, 123, 8, 8},
    ControlLayout{kFolder[3], Kind::Edit, "", 15, 104, 180, 14},
    ControlLayout{kFolder[4], Kind::Edit, "", 15, 119, 180, 14},
    ControlLayout{kNoControlId, Kind::Text, "６", 7, 138, 8, 8},
    ControlLayout{kFolder[5], Kind::Edit, "", 15, 135, 180, 14},
    ControlLayout{kNoControlId, Kind::Text, "７", 7, 153, 8, 8},
    ControlLayout{kFolder[6], Kind::Edit, "", 15, 151, 180, 14},
    ControlLayout{kFolder[7], Kind::Edit, "", 15, 167, 180, 14},
    ControlLayout{kFolder[8], Kind::Edit, "", 15, 184, 180, 14},
    ControlLayout{kNoControlId, Kind::Text, "８", 7, 170, 8, 8},
    ControlLayout{kNoControlId, Kind::Text, "９", 7, 187, 8, 8},
};

} // namespace

constexpr DialogLayout kAboutDialogLayout{100, "Quorvantelのﾊﾞｰｼﾞｮﾝ情報", 235, 55, kAboutControls};
constexpr DialogLayout kLauncherDialogLayout{102, "Quorvantel", 319, 200, kLauncherControls};
constexpr DialogLayout kSettingDialogLayout{131, "tarvellin Ver2.10", 91, 207, kSettingControls};
constexpr DialogLayout kNetworkDialogLayout{140, "ネットワーク設定", 182, 91, kNetworkControls};
constexpr DialogLayout kDriveDialogLayout{141, "ﾀﾞｲｱﾛｸﾞ", 202, 223, kDriveControls};
