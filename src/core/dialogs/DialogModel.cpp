#include "core/dialogs/DialogModel.h"

bool DialogModel::Open() {
    if (m_running) {
        return false;
    }
    m_running = true;
    OnOpen();
    return true;
}

void DialogModel::Closed() {
    OnClosed();
    m_running = false;
}

bool DialogModel::Handle(DialogEvent event) {
    switch (ActionFor(event)) {
    case DialogAction::PassOn:
        return false;
    case DialogAction::Nothing:
        break;
    case DialogAction::Ok:
        FrameworkOk();
        break;
    case DialogAction::RefreshThenOk:
        Refresh();
        FrameworkOk();
        break;
    case DialogAction::Refresh:
        Refresh();
        break;
    case DialogAction::Cancel:
        Cancel();
        break;
    }
    return true;
}

bool DialogModel::Pull() {
    if (m_messageShowing) {
        return false;
    }
    DataExchange exchange(*m_controls, DataExchange::Direction::Pull, &m_messageShowing);
    Exchange(exchange);
    return exchange.Ok();
}

void DialogModel::Push() {
    DataExchange exchange(*m_controls, DataExchange::Direction::Push);
    Exchange(exchange);
}

void DialogModel::FrameworkOk() {
    if (Pull()) {
        m_controls->End(DialogResult::Accepted);
    }
}

void DialogModel::Cancel() {
    m_controls->End(DialogResult::Rejected);
}
