#pragma once

// True when a window-system plugin (xcb or Wayland) can actually connect to the display. Runs before any Qt
// application object exists; the probe runs in a child process, so a display that refuses the connection
// costs no abort and no error text here. False also when the child cannot be started or hangs. On Windows:
// true when the tray icon can work with the platform plugin the program would use (a short-lived application
// object in this process asks; the Windows plugin cannot fail to connect).
bool DisplayConnects(int argc, char** argv);
