#include "desktop/CNetSet.h"

CNetSet::CNetSet(QWidget* parent) : DialogView(parent, 140, "ネットワーク設定", 182, 91) {
    using M = NetworkDialogModel;
    Build(m_model, {
                       {Kind::DefaultButton, M::kOkButton, "OK", 89, 70, 38, 14},
                       {Kind::Button, M::kCancelButton, "ｷｬﾝｾﾙ", 135, 70, 40, 14},
                       {Kind::Label, 0, "ポート設定", 7, 38, 32, 8},
                       {Kind::Edit, M::kPort, "", 40, 35, 34, 14},
                       {Kind::PasswordEdit, M::kPassword, "", 41, 17, 49, 14},
                       {Kind::Label, 0, "パスワード", 7, 20, 32, 8},
                       {Kind::Label, 0, "●ネットワーク機能を使用するにあったっての各種設定●", 7, 7, 166, 8},
                       {Kind::Label, 0, "※tarvellinの再起動必須", 75, 37, 78, 8},
                       {Kind::Label, 0, "パスなしの場合は空白", 91, 20, 67, 8},
                       {Kind::Check, M::kRefreshCheck, "コマンドなしで更新受け付ける", 7, 53, 102, 10},
                       {Kind::Check, M::kChangeCheck, "ネットワーク経由での設定変更許可", 7, 67, 119, 10},
                   });
    HideForGood({M::kChangeCheck});
}
