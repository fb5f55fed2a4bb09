#include "desktop/DialogMetrics.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QToolTip>
#include <QWidget>

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
    m_font.setPointSize(9);
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

void DialogMetrics::SizeDialog(QWidget* dialog, int width, int height) const {
    dialog->setFont(m_font);
    dialog->setFixedSize(ToPixels(0, 0, width, height).size());
}

void UseDialogFontEverywhere() {
    const QFont font = DialogMetrics().Font();
    QApplication::setFont(font);
    QToolTip::setFont(font); // tooltips keep a font of their own
}
