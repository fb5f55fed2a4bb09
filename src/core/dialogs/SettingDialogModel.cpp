#include "core/dialogs/SettingDialogModel.h"

#include <array>

#include "core/dialogs/NetworkDialogModel.h"

namespace {

struct EnableRule {
    int checkId;
    int MonitorSettings::*member;
    int dependentId;
};

// In the order the opening applies them.
constexpr std::array<EnableRule, 4> kEnableRules{{
    {SettingDialogModel::kAutoCheck, &MonitorSettings::Auto, SettingDialogModel::kTime},
    {SettingDialogModel::kNetWorkCheck, &MonitorSettings::NetWork, SettingDialogModel::kNetworkButton},
    {SettingDialogModel::kKeikokuCheck, &MonitorSettings::Keikoku, SettingDialogModel::kNokori},
    {SettingDialogModel::kOtherDriveCheck, &MonitorSettings::OtherDrive, SettingDialogModel::kDriveButton},
}};

} // namespace

SettingDialogModel::~SettingDialogModel() {
    if (Running()) {
        m_monitor.AttachDialog(nullptr);
    }
}

DialogAction SettingDialogModel::ActionFor(DialogEvent event) const {
    switch (event) {
    case DialogEvent::OkButton:
    case DialogEvent::Enter:
        return DialogAction::RefreshThenOk;
    case DialogEvent::UpdateButton:
        return DialogAction::Refresh;
    case DialogEvent::Escape:
        return DialogAction::Ok;
    case DialogEvent::CloseBox:
        return DialogAction::Cancel;
    case DialogEvent::CancelButton:
        break;
    }
    return DialogAction::PassOn;
}

void SettingDialogModel::OnOpen() {
    Push();
    for (const EnableRule& rule : kEnableRules) {
        CheckClicked(rule.checkId);
    }
    m_monitor.AttachDialog(this);
    m_monitor.ClearWarning();
    // Measures without building texts: the dialog keeps showing the texts of the last refresh.
    m_monitor.OpeningMeasurement();
}

void SettingDialogModel::OnClosed() {
    m_monitor.AttachDialog(nullptr);
}

void SettingDialogModel::Refresh() {
    m_monitor.RefreshCycle(RefreshTrigger::Dialog);
}

void SettingDialogModel::Exchange(DataExchange& exchange) {
    MonitorSettings& settings = m_monitor.Settings();
    CapacityReading& reading = m_monitor.Reading();
    exchange.Text(kUsedText, reading.usedText);
    exchange.Text(kTotalText, reading.totalText);
    exchange.Text(kFreeText, reading.freeText);
    exchange.Text(kPath, settings.Path);
    exchange.Int(kTime, settings.Time);
    exchange.Check(kAutoCheck, settings.Auto);
    exchange.Text(kDirectory, settings.Directory, kMaxDirectoryChars);
    exchange.Check(kGByteCheck, settings.GByte);
    exchange.Check(kNetWorkCheck, settings.NetWork);
    exchange.Int(kSparePort, m_sparePort, 0, 65535);
    exchange.Check(kKeikokuCheck, settings.Keikoku);
    exchange.Int(kNokori, settings.Nokori, 0, kMaxNokori);
    exchange.Check(kOtherDriveCheck, settings.OtherDrive);
}

void SettingDialogModel::CheckClicked(int id) {
    for (const EnableRule& rule : kEnableRules) {
        if (rule.checkId == id) {
            Pull();
            Controls().Enable(rule.dependentId, m_monitor.Settings().*rule.member != 0);
        }
    }
}

void SettingDialogModel::RunNetworkSettings(const std::function<void()>& runModal) {
    MonitorSettings& settings = m_monitor.Settings();
    m_network.m_port = settings.Port;
    m_network.m_password = settings.Pass;
    m_network.m_refreshWithoutCommand = settings.NetKoushin;
    m_network.m_changeOverNetwork = settings.EnbChange;
    m_network.m_networkDialogOpen = 1;
    runModal();
    settings.Port = m_network.m_port;
    settings.Pass = m_network.m_password;
    settings.NetKoushin = m_network.m_refreshWithoutCommand;
    settings.EnbChange = m_network.m_changeOverNetwork;
    m_network.m_networkDialogOpen = 0;
}

void SettingDialogModel::CloseForExit() {
    if (!Running()) {
        return;
    }
    if (m_network.m_networkDialogOpen == 1) {
        m_network.FrameworkOk();
    }
    FrameworkOk();
}
