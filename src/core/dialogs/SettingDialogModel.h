#pragma once

#include <functional>

#include "core/capacity/DialogExchange.h"
#include "core/capacity/Monitor.h"
#include "core/dialogs/DialogModel.h"

class NetworkDialogModel;

// The settings dialog (resource 131): shows the three capacity texts and edits the main drive's settings.
// While it runs, the refresh cycle takes the values of its controls before measuring and shows the new
// values after.
class SettingDialogModel final : public DialogModel, public DialogExchange {
public:
    enum Control : int {
        kOkButton = 1000,
        kDriveButton = 1001,
        kUsedText = 1002,
        kTotalText = 1003,
        kFreeText = 1004,
        kPath = 1005,
        kAutoCheck = 1006,
        kTime = 1007,
        kUpdateButton = 1009,
        kMinutesText = 1010,
        kDirectory = 1011,
        kGByteCheck = 1012,
        kNetWorkCheck = 1013,
        kSparePort = 1014, // hidden and disabled, as is its label
        kPortLabel = 1015,
        kKeikokuCheck = 1016,
        kNokori = 1018,
        kNetworkButton = 1019,
        kOtherDriveCheck = 1020,
    };
    static constexpr int kMaxDirectoryChars = 10;
    static constexpr int kMaxNokori = 1000000000;

    SettingDialogModel(Monitor& monitor, NetworkDialogModel& network) : m_monitor(monitor), m_network(network) {}
    ~SettingDialogModel() override;

    // OK and Enter refresh, then take the values; 更新 refreshes; Esc takes the values without a refresh;
    // the close box takes nothing.
    DialogAction ActionFor(DialogEvent event) const override;

    // A click on a check box: takes all values (whatever the outcome), then enables the control that
    // depends on it when its member is not 0. Other controls have no such rule.
    void CheckClicked(int id);
    // Button 1019: copies the network settings into the network dialog, runs it, copies them back.
    void RunNetworkSettings(const std::function<void()>& runModal);
    // Ends the dialog for the program's exit: the network settings dialog's OK when it is open, then this
    // dialog's OK; no refresh and no save. A dialog whose values fail validation stays open.
    void CloseForExit();

    bool PullFromControls() override { return Pull(); }
    void PushToControls() override { Push(); }

protected:
    void Exchange(DataExchange& exchange) override;
    void OnOpen() override;
    void OnClosed() override;
    void Refresh() override;

private:
    Monitor& m_monitor;
    NetworkDialogModel& m_network;
    int m_sparePort = 0; // bound to the hidden field 1014; carries no setting
};
