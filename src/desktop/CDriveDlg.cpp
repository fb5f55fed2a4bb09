#include "desktop/CDriveDlg.h"

#include <QLineEdit>

CDriveDlg::CDriveDlg(Monitor& monitor, QWidget* parent)
    : DialogView(parent, 141, "ﾀﾞｲｱﾛｸﾞ", 202, 223), m_model(monitor) {
    using M = DriveDialogModel;
    const auto& folder = M::kFolderIds;
    Build(m_model, {
                       {Kind::DefaultButton, M::kOkButton, "OK", 85, 202, 50, 14},
                       {Kind::Button, M::kCancelButton, "ｷｬﾝｾﾙ", 145, 202, 50, 14},
                       {Kind::Label, 0, "監視したいHDDのドライブレターを連続で順に記述してください。", 7, 7, 188, 8},
                       {Kind::Edit, M::kLetters, "", 7, 20, 69, 14},
                       {Kind::Label, 0, "9個まで", 82, 23, 33, 8},
                       {Kind::Edit, folder[0], "", 15, 55, 180, 14},
                       {Kind::Label, 0, "１", 7, 59, 8, 8},
                       {Kind::Label, 0, "２", 7, 73, 8, 8},
                       {Kind::Label, 0, "左が1番として順に空き容量ファイル保存場所を指定してください", 7, 40, 188, 8},
                       {Kind::Edit, folder[1], "", 15, 71, 180, 14},
                       {Kind::Edit, folder[2], "", 15, 88, 180, 14},
                       {Kind::Label, 0, "３", 7, 91, 8, 8},
                       {Kind::Label, 0, "４", 7, 107, 8, 8},
                       {Kind::Label, 0, "５", 7, 123, 8, 8},
                       {Kind::Edit, folder[3], "", 15, 104, 180, 14},
                       {Kind::Edit, folder[4], "", 15, 119, 180, 14},
                       {Kind::Label, 0, "６", 7, 138, 8, 8},
                       {Kind::Edit, folder[5], "", 15, 135, 180, 14},
                       {Kind::Label, 0, "７", 7, 153, 8, 8},
                       {Kind::Edit, folder[6], "", 15, 151, 180, 14},
                       {Kind::Edit, folder[7], "", 15, 167, 180, 14},
                       {Kind::Edit, folder[8], "", 15, 184, 180, 14},
                       {Kind::Label, 0, "８", 7, 170, 8, 8},
                       {Kind::Label, 0, "９", 7, 187, 8, 8},
                   });
    connect(ControlById<QLineEdit>(M::kLetters), &QLineEdit::textChanged, this, [this] { m_model.LettersChanged(); });
}
