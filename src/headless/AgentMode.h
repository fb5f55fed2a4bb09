#pragma once

// How the agent meets its user.
enum class AgentMode {
    Headless, // no display (or one without windows): no tray, no dialogs; warnings go to stderr
    Desktop,  // a display that shows windows: tray icon, dialogs and warning boxes
};
