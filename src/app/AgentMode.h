#pragma once

// How the agent meets its user.
enum class AgentMode {
    Headless, // no display (or one without windows): no tray, no dialogs; warnings go to stderr
    Desktop,  // a display that shows windows: tray icon, dialogs and warning boxes
};

// True when the environment names a display (DISPLAY or WAYLAND_DISPLAY) and QT_QPA_PLATFORM is unset or
// names a window-system plugin (xcb or Wayland). Only then is the desktop module worth loading; whether the
// display really connects is the module's probe to find out. On Windows, which always has a desktop: true
// unless QT_QPA_PLATFORM names a plugin other than the window system's (windows, direct2d). Reads the
// environment only.
bool DisplayMayExist();
