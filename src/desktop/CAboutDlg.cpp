#include "desktop/CAboutDlg.h"

#include "desktop/DrawnIcons.h"
#include "desktop/DialogMetrics.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const DialogMetrics metrics;
    setWindowTitle(QStringLiteral("Quorvantelのﾊﾞｰｼﾞｮﾝ情報"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    metrics.SizeDialog(this, 235, 55);

    auto* icon = new QLabel(this);
    const QRect iconRect = metrics.ToPixels(11, 17, 20, 20);
    icon->setGeometry(iconRect);
    icon->setPixmap(ApplicationIcon().pixmap(iconRect.size(), devicePixelRatio()));

    auto* name = new QLabel(QStringLiteral("Quorvantel Version 1.0"), this);
    name->setTextFormat(Qt::PlainText); // no prefix processing: an ampersand would stay as it is
    metrics.Place(name, 40, 10, 119, 8);

    auto* line = new QLabel(QStringLiteral("ドライブ空容量モニター tarvellin"), this);
    line->setTextFormat(Qt::PlainText);
    metrics.Place(line, 40, 25, 119, 8);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    metrics.Place(ok, 178, 7, 50, 14);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
