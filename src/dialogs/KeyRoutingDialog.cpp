#include "dialogs/KeyRoutingDialog.h"

#include <QKeyEvent>

KeyRoutingDialog::KeyRoutingDialog(QWidget* parent) : QDialog(parent) {}

bool KeyRoutingDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && PreTranslateKey(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void KeyRoutingDialog::keyPressEvent(QKeyEvent* event) {
    if (!PreTranslateKey(event)) {
        QDialog::keyPressEvent(event);
    }
}
