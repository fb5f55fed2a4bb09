#pragma once

#include "core/dialogs/NetworkDialogModel.h"
#include "desktop/DialogView.h"

// The network settings dialog (resource 140) bound to its model.
class CNetSet : public DialogView {
    Q_OBJECT

public:
    explicit CNetSet(QWidget* parent = nullptr);

    NetworkDialogModel& Model() { return m_model; }

private:
    NetworkDialogModel m_model;
};
