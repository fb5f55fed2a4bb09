#include "desktop/CDriveDlg.h"

#include <QLineEdit>

CDriveDlg::CDriveDlg(Monitor& monitor, QWidget* parent) : DialogView(parent, kDriveDialogLayout), m_model(monitor) {
    Build(m_model);
    connect(ControlById<QLineEdit>(DriveDialogModel::kLetters), &QLineEdit::textChanged, this,
            [this] { m_model.LettersChanged(); });
}
