#pragma once

#include <cstdint>
#include <string>

// What the program needs of the session it runs in, beyond drives and files: stop requests from outside,
// whether a display may exist, a probe run apart from the program, and loading the desktop module. One
// implementation per system under platform/<os>/.

// A handle that becomes ready while a stop request is pending: a descriptor to watch for reading on POSIX.
using StopRequestHandle = std::intptr_t;
inline constexpr StopRequestHandle kNoStopRequests = -1;

// Installs the stop-request handlers (SIGINT and SIGTERM) unless done already. Called first thing at start-up,
// so a request that arrives while the program starts is kept instead of killing the process. Returns the
// handle to watch; kNoStopRequests when requests cannot be watched (the system's default handling stays).
StopRequestHandle WatchStopRequests();
// Takes the pending stop requests: the signal number of the latest, 0 when none was pending.
int TakeStopRequest();
// True once a stop request has arrived, also before the loop has taken it; may be asked from any thread.
bool StopRequestArrived();

// True when the environment names a display (DISPLAY or WAYLAND_DISPLAY) and QT_QPA_PLATFORM is unset or
// names a window-system plugin (xcb or Wayland). Reads the environment only.
bool DisplayMayExist();

// Runs probe(argc, argv) apart from the program (in a child process, with its output discarded, without the
// program's stop handlers) and waits for it at most timeoutSeconds. True only when it returned true; false
// when it failed, crashed, hung or could not be started.
bool ProbeApart(bool (*probe)(int argc, char** argv), int argc, char** argv, int timeoutSeconds);

// Loads the module fileName from the program's own folder, then from relativeFolder below it, and finds the
// symbol in it. The module stays loaded until the process ends. nullptr, with the reason in failure, when
// neither place has a module exporting the symbol.
void* LoadModuleSymbol(const std::string& fileName, const std::string& relativeFolder, const char* symbol,
                       std::string& failure);
