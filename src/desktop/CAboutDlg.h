#pragma once

#include <QDialog>

// The about box: the application icon, the name and version, and one line about the program.
class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
