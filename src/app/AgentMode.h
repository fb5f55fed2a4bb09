#pragma once

// How the agent meets its user.
enum class AgentMode {
    Headless, // no display (or one without windows): no tray, no dialogs; warnings go to stderr
    Desktop,  // a display that shows windows: tray icon, dialogs and warning boxes
};

// Chooses the mode before any Qt application object exists. A display counts only when a window-system
// plugin (xcb or Wayland) can actually connect to it; the probe runs in a child process, so a display that
// refuses the connection costs no abort and no error text here.
AgentMode ChooseAgentMode(int argc, char** argv);
