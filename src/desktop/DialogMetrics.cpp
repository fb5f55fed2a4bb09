#include "desktop/DialogMetrics.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>
#include <QWidget>

#include <algorithm>

#include "core/dialogs/DialogLayouts.h"
#include "desktop/DrawnIcons.h"

namespace {

// MulDiv of Windows: the product divided with rounding to the nearest integer.
int MulDiv(int value, int numerator, int denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

} // namespace

DialogMetrics::DialogMetrics() {
    // IPAPGothic stands in for the proportional MS gothic face that Japanese Windows uses for dialogs.
    m_font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"), QStringLiteral("IPAGothic"),
                        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("sans-serif")});
    m_font.setPointSize(kDialogFont.pointSize);
    const QFontMetrics metrics(m_font);
    // Windows: the average width of the 52 Latin letters, rounded, and the character height.
    const int alphabetWidth =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = (alphabetWidth / 26 + 1) / 2;
    m_baseY = metrics.height();
}

QRect DialogMetrics::ToPixels(int x, int y, int width, int height) const {
    return {MulDiv(x, m_baseX, 4), MulDiv(y, m_baseY, 8), MulDiv(width, m_baseX, 4), MulDiv(height, m_baseY, 8)};
}

void DialogMetrics::Place(QWidget* control, int x, int y, int width, int height) const {
    control->setGeometry(ToPixels(x, y, width, height));
}

void DialogMetrics::SizeDialog(QWidget* dialog, const DialogLayout& layout) const {
    dialog->setFont(m_font);
    dialog->setWindowTitle(QString::fromUtf8(layout.caption));
    dialog->setFixedSize(ToPixels(0, 0, layout.width, layout.height).size());
}

std::vector<QWidget*> DialogMetrics::DrawControls(QWidget* dialog, const DialogLayout& layout) const {
    // As in a Windows dialog: where there is a default button, a focused push button takes Enter in its place;
    // where there is none, no button ever looks like the default one.
    const bool hasDefault = std::any_of(layout.controls.begin(), layout.controls.end(), [](const ControlLayout& row) {
        return row.kind == ControlKind::DefaultButton;
    });
    std::vector<QWidget*> controls;
    for (const ControlLayout& row : layout.controls) {
        const QString text = QString::fromUtf8(row.text);
        QWidget* control = nullptr;
        switch (row.kind) {
        case ControlKind::Text: {
            auto* label = new QLabel(text, dialog);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            if ((row.style & kNoPrefix) != 0) {
                label->setTextFormat(Qt::PlainText);
            }
            control = label;
            break;
        }
        case ControlKind::Icon: {
            auto* icon = new QLabel(dialog);
            const QRect place = ToPixels(row.x, row.y, row.width, row.height);
            icon->setPixmap(ApplicationIcon().pixmap(place.size(), dialog->devicePixelRatio()));
            control = icon;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(dialog);
            if ((row.style & kPassword) != 0) {
                edit->setEchoMode(QLineEdit::Password);
            }
            control = edit;
            break;
        }
        case ControlKind::CheckBox:
            control = new QCheckBox(text, dialog);
            break;
        case ControlKind::PushButton:
        case ControlKind::DefaultButton: {
            auto* button = new QPushButton(text, dialog);
            button->setAutoDefault(hasDefault);
            button->setDefault(row.kind == ControlKind::DefaultButton);
            control = button;
            break;
        }
        }
        Place(control, row.x, row.y, row.width, row.height);
        if (row.id != kNoControlId) {
            control->setObjectName(QStringLiteral("control%1").arg(row.id));
        }
        if ((row.style & kNeverShown) != 0) {
            control->setEnabled(false);
            control->setVisible(false);
        }
        controls.push_back(control);
    }
    return controls;
}

void UseDialogFontEverywhere() {
    const QFont font = DialogMetrics().Font();
    QApplication::setFont(font);
    QToolTip::setFont(font); // tooltips keep a font of their own
}
