#pragma once

// True when a window-system plugin (xcb or Wayland) can actually connect to the display. Runs before any Qt
// application object exists; the probe runs apart from the program, so a display that refuses the connection
// costs no abort and no error text here. False also when the probe cannot be started or hangs.
bool DisplayConnects(int argc, char** argv);
