#include "core/dialogs/DriveDialogModel.h"

#include "core/capacity/Monitor.h"

DialogAction DriveDialogModel::ActionFor(DialogEvent event) const {
    switch (event) {
    case DialogEvent::OkButton:
        return DialogAction::Ok;
    case DialogEvent::CancelButton:
    case DialogEvent::Escape:
    case DialogEvent::CloseBox:
        return DialogAction::Cancel;
    case DialogEvent::Enter:
    case DialogEvent::UpdateButton:
        break;
    }
    return DialogAction::PassOn;
}

void DriveDialogModel::OnOpen() {
    // The framework's initial push, then the dialog's own, then the letters as if just typed.
    Push();
    Push();
    ApplyLetters();
}

void DriveDialogModel::Exchange(DataExchange& exchange) {
    MonitorSettings& settings = m_monitor.Settings();
    m_exchanging = true;
    exchange.Text(kLetters, settings.Directory2, kMaxLetters);
    for (std::size_t slot = 0; slot < kFolderIds.size(); ++slot) {
        exchange.Text(kFolderIds.at(slot), settings.Path2To10.at(slot));
    }
    m_exchanging = false;
}

void DriveDialogModel::LettersChanged() {
    if (!m_exchanging) {
        ApplyLetters();
    }
}

void DriveDialogModel::ApplyLetters() {
    Pull();
    m_monitor.FilterDriveLetters();
    Push();
    const std::size_t letters = m_monitor.Settings().Directory2.size();
    for (std::size_t slot = 0; slot < kFolderIds.size(); ++slot) {
        Controls().Enable(kFolderIds.at(slot), slot < letters);
    }
}
