#pragma once

// The boundary between the program (no Qt) and the desktop module (Qt Widgets and Gui), which the program
// loads at run time only when a display may exist. Plain C types only, beside the two interfaces handed over as
// pointers: the two sides are built apart and must agree on nothing but this header.

class EventSource;
class Platform;

// Raised whenever DesktopHost, the entry's meaning or the Platform or EventSource interface changes.
inline constexpr int kDesktopModuleVersion = 4;
// The module's one exported symbol, of type DesktopEntry.
inline constexpr const char* kDesktopEntryName = "tarvellin_desktop_main";
// The module's file name; it lives next to the program or in the installed module folder.
inline constexpr const char* kDesktopModuleFile = "libtarvellin-desktop.so";

// What the desktop entry reports.
enum DesktopOutcome : int {
    kDesktopRan = 0,          // the desktop agent ran to its end; *exitCode holds the process exit code
    kDesktopNoDisplay = 1,    // the display does not connect: the program runs headless
    kDesktopWrongVersion = 2, // the module was built for another DesktopHost: the program runs headless
};

// What the program hands the module: its arguments and the start-up steps, which need the application
// object and the event loop the module creates.
struct DesktopHost {
    int version;   // kDesktopModuleVersion of the program
    int* argc;     // the program's own argument count; lives as long as the application object
    char** argv;   // the program's own arguments
    void* context; // passed back to the two calls below
    // Runs the start-up steps once the application object exists (stop signals, watched on events, which stay
    // until shutDown; network check, platform, configuration path). On success sets *platform and
    // *configurationPath (both owned by the program until shutDown) and returns nullptr; otherwise returns the
    // UTF-8 start-up failure text to show.
    const char* (*startUp)(void* context, EventSource* events, Platform** platform, const char** configurationPath);
    // Releases what startUp made; called once after startUp, before the application object goes.
    void (*shutDown)(void* context);
    // Called by the module with its agent's reload function once the agent exists, and with nullptr before the
    // agent goes; the program calls reload(target) on the loop's thread when a reload is asked for (SIGHUP).
    void (*setReloadTarget)(void* context, void (*reload)(void* target), void* target);
};

// The module's entry: probes the display and, when it connects, creates the application object and runs
// the desktop agent to its end.
using DesktopEntry = int (*)(const DesktopHost* host, int* exitCode);

// The desktop part's entry, of type DesktopEntry: the module exports it under kDesktopEntryName. Returns a
// DesktopOutcome.
int DesktopMain(const DesktopHost* host, int* exitCode);
