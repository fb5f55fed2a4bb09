#pragma once

#include <array>

#include "core/dialogs/DialogModel.h"
#include "core/settings/MonitorSettings.h"

class Monitor;

// The drive settings dialog (resource 141): the letters of the other drives and the folder of each slot.
// It edits the settings in place; it neither saves them nor starts a refresh.
class DriveDialogModel final : public DialogModel {
public:
    enum Control : int { kOkButton = 1, kCancelButton = 2, kLetters = 1005 };
    // The folder edits of slots 1 to 9.
    static constexpr std::array<int, kDriveSlots> kFolderIds{1007, 1011, 1014, 1018, 1022, 1023, 1024, 1025, 1026};
    static constexpr int kMaxLetters = 9;

    explicit DriveDialogModel(Monitor& monitor) : m_monitor(monitor) {}

    // OK takes the values; Cancel, Esc and the close box take nothing more; Enter goes to the focused button.
    DialogAction ActionFor(DialogEvent event) const override;
    // The text of the letters edit changed: takes the values, keeps the letters of existing drives, shows
    // them and enables one folder edit per letter. Changes made by the exchange itself are no such change.
    void LettersChanged();

protected:
    void Exchange(DataExchange& exchange) override;
    void OnOpen() override;

private:
    void ApplyLetters();

    Monitor& m_monitor;
    bool m_exchanging = false; // the exchange is filling or reading the controls
};
