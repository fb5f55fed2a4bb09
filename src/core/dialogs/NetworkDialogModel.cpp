#include "core/dialogs/NetworkDialogModel.h"

DialogAction NetworkDialogModel::ActionFor(DialogEvent event) const {
    switch (event) {
    case DialogEvent::OkButton:
    case DialogEvent::Escape:
        return DialogAction::Ok;
    case DialogEvent::Enter:
        return DialogAction::Nothing;
    case DialogEvent::CancelButton:
    case DialogEvent::CloseBox:
        return DialogAction::Cancel;
    case DialogEvent::UpdateButton:
        break;
    }
    return DialogAction::PassOn;
}

void NetworkDialogModel::Exchange(DataExchange& exchange) {
    exchange.Int(kPort, m_port, 0, 65535);
    exchange.Text(kPassword, m_password);
    exchange.Check(kRefreshCheck, m_refreshWithoutCommand);
    exchange.Check(kChangeCheck, m_changeOverNetwork);
}
