#include "win32/dialogs/Win32Dialogs.h"

#include "core/dialogs/DialogLayouts.h"
#include "core/dialogs/DriveDialogModel.h"
#include "core/dialogs/NetworkDialogModel.h"
#include "core/dialogs/SettingDialogModel.h"
#include "win32/dialogs/DialogWindow.h"

struct Win32Dialogs::State {
    State(HINSTANCE instance, SettingDialogModel& settingsModel, DriveDialogModel& driveModel,
          NetworkDialogModel& networkModel)
        : settingsModel(settingsModel), driveModel(driveModel), networkModel(networkModel),
          settings(instance, kSettingDialogLayout.resourceId, settingsModel),
          drive(instance, kDriveDialogLayout.resourceId, driveModel),
          network(instance, kNetworkDialogLayout.resourceId, networkModel) {}

    void SettingsCommand(int id, int code);
    void DriveCommand(int id, int code);
    void NetworkCommand(int id, int code);

    SettingDialogModel& settingsModel;
    DriveDialogModel& driveModel;
    NetworkDialogModel& networkModel;
    DialogWindow settings;
    DialogWindow drive;
    DialogWindow network;
};

void Win32Dialogs::State::SettingsCommand(int id, int code) {
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
    case SettingDialogModel::kOkButton:
        settingsModel.Handle(DialogEvent::OkButton);
        break;
    case SettingDialogModel::kUpdateButton:
        settingsModel.Handle(DialogEvent::UpdateButton);
        break;
    case SettingDialogModel::kDriveButton:
        drive.RunModal(settings.Window()); // its result is not looked at
        break;
    case SettingDialogModel::kNetworkButton:
        settingsModel.RunNetworkSettings([this] { network.RunModal(settings.Window()); });
        break;
    // The dialog has no OK or Cancel button: these come from the dialog manager for Enter and Esc that did
    // not pass through the key filter.
    case IDOK:
        settingsModel.Handle(DialogEvent::Enter);
        break;
    case IDCANCEL:
        settingsModel.Handle(DialogEvent::Escape);
        break;
    default:
        settingsModel.CheckClicked(id);
        break;
    }
}

void Win32Dialogs::State::DriveCommand(int id, int code) {
    if (id == DriveDialogModel::kLetters && code == EN_CHANGE) {
        driveModel.LettersChanged();
    } else if (id == IDOK && code == BN_CLICKED) {
        driveModel.Handle(DialogEvent::OkButton);
    } else if (id == IDCANCEL && code == BN_CLICKED) {
        driveModel.Handle(DialogEvent::CancelButton);
    }
}

void Win32Dialogs::State::NetworkCommand(int id, int code) {
    if (id == IDOK && code == BN_CLICKED) {
        networkModel.Handle(DialogEvent::OkButton);
    } else if (id == IDCANCEL && code == BN_CLICKED) {
        networkModel.Handle(DialogEvent::CancelButton);
    }
}

Win32Dialogs::Win32Dialogs(HINSTANCE instance, SettingDialogModel& settings, DriveDialogModel& drive,
                           NetworkDialogModel& network)
    : m_state(new State(instance, settings, drive, network)) {
    m_state->settings.OnCommand([this](int id, int code) { m_state->SettingsCommand(id, code); });
    m_state->drive.OnCommand([this](int id, int code) { m_state->DriveCommand(id, code); });
    m_state->network.OnCommand([this](int id, int code) { m_state->NetworkCommand(id, code); });
}

Win32Dialogs::~Win32Dialogs() {
    delete m_state;
}

bool Win32Dialogs::RunSettings(HWND owner) {
    return m_state->settings.RunModal(owner);
}

void Win32Dialogs::CloseForExit() {
    m_state->settingsModel.CloseForExit();
}

bool Win32Dialogs::SettingsOpen() const {
    return m_state->settingsModel.Running();
}
