#pragma once

#include "core/dialogs/DriveDialogModel.h"
#include "desktop/DialogView.h"

class Monitor;

// The drive settings dialog (resource 141) bound to its model.
class CDriveDlg : public DialogView {
    Q_OBJECT

public:
    explicit CDriveDlg(Monitor& monitor, QWidget* parent = nullptr);

    DriveDialogModel& Model() { return m_model; }

private:
    DriveDialogModel m_model;
};
