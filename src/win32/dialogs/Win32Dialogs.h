#pragma once

// The three settings dialogs of the Windows program: Win32 views, from the resource script's templates, over
// the core's dialog models. The tray agent owns the models (with its Monitor) and one Win32Dialogs.

#include <windows.h>

class DriveDialogModel;
class NetworkDialogModel;
class SettingDialogModel;

class Win32Dialogs {
public:
    Win32Dialogs(HINSTANCE instance, SettingDialogModel& settings, DriveDialogModel& drive,
                 NetworkDialogModel& network);
    ~Win32Dialogs();
    Win32Dialogs(const Win32Dialogs&) = delete;
    Win32Dialogs& operator=(const Win32Dialogs&) = delete;

    // Runs the settings dialog (resource 131) modally, owned by owner; its buttons run the drive (141) and
    // network (140) dialogs. Returns at once, false, while it runs already; true when it ran.
    bool RunSettings(HWND owner);
    // The exit command while the settings dialog runs: the network dialog's OK when it is open, then the
    // settings dialog's OK, without a refresh; a dialog whose values fail validation stays open.
    void CloseForExit();
    // True while the settings dialog runs.
    bool SettingsOpen() const;

private:
    struct State;
    State* m_state;
};
