#pragma once

#include <QDialog>

class QKeyEvent;

// A dialog whose key presses, its own and those of the controls that install it as their event filter,
// go first through PreTranslateKey; a key it does not take goes on to the usual handling.
class KeyRoutingDialog : public QDialog {
    Q_OBJECT

public:
    explicit KeyRoutingDialog(QWidget* parent = nullptr);

protected:
    // True when the dialog has taken the key; false lets the key go on.
    virtual bool PreTranslateKey(QKeyEvent* event) = 0;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
