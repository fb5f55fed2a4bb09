#pragma once

#include <cstdint>
#include <string>

// What the program needs of the session it runs in, beyond drives and files: stop and reload requests from
// outside, the one-agent-per-folder lock, whether a display may exist, a probe run apart from the program, and
// loading the desktop module. One implementation per system under platform/<os>/.

// A handle that becomes ready while a request is pending: a descriptor to watch for reading on POSIX.
using StopRequestHandle = std::intptr_t;
inline constexpr StopRequestHandle kNoStopRequests = -1;

// Requests from outside taken since the last look.
struct SessionRequests {
    int stopSignal = 0;  // signal number of the latest stop request (SIGINT, SIGTERM); 0 when none
    bool reload = false; // a reload of the settings was asked for (SIGHUP)
};

// Installs the handlers of stop requests (SIGINT and SIGTERM) and reload requests (SIGHUP) unless done
// already. Called first thing at start-up, so a request that arrives while the program starts is kept instead
// of killing the process. Returns the handle to watch; kNoStopRequests when requests cannot be watched (the
// system's default handling stays).
StopRequestHandle WatchStopRequests();
// Takes the pending requests.
SessionRequests TakeSessionRequests();
// True once a stop request has arrived, also before the loop has taken it; may be asked from any thread.
bool StopRequestArrived();

// The outcome of taking the lock that keeps a second agent out of a working folder.
struct InstanceLock {
    enum class Outcome {
        Taken,         // this process holds the lock until it ends
        HeldByAnother, // another running process holds it
        Unavailable,   // the lock file cannot be used (a read-only folder): no lock is held
    };
    Outcome outcome = Outcome::Unavailable;
    long ownerPid = 0;   // HeldByAnother: the holder's process id as the system tells it; 0 when unknown
    std::string failure; // Unavailable: why
};

// Takes an exclusive lock on the file at path (created when missing) and writes this process's id into it.
// The lock is held until the process ends; the system releases it when the process dies in any way. A symbolic
// link, a folder or another non-regular file at path is left as it is: Unavailable.
InstanceLock LockInstance(const std::string& path);

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
