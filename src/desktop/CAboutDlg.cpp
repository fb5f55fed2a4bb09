#include "desktop/CAboutDlg.h"

#include "core/dialogs/DialogLayouts.h"
#include "desktop/DialogMetrics.h"

#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const DialogMetrics metrics;
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    metrics.SizeDialog(this, kAboutDialogLayout);
    metrics.DrawControls(this, kAboutDialogLayout);
    connect(findChild<QPushButton*>(QStringLiteral("control1")), &QPushButton::clicked, this, &QDialog::accept);
}
