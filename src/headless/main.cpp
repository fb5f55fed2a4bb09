#include "headless/CQuorvantelApp.h"
#include "headless/CommandLine.h"
#include "platform/Session.h"

namespace {

// Run before the constructors of every library the program loads (Qt's among them): from here on a stop or
// reload request while the program starts is kept for the agent, not fatal. Only the system's loader runs
// earlier.
void CatchRequestsFromTheStart(int, char**, char**) {
    WatchStopRequests();
}
using StartHook = void (*)(int, char**, char**);
[[gnu::used, gnu::section(".preinit_array")]] const StartHook kCatchRequestsFromTheStart = &CatchRequestsFromTheStart;

} // namespace

int main(int argc, char** argv) {
    // Installed already (see above); asked again in case the loader did not run the hook.
    WatchStopRequests();
    if (const std::optional<int> answered = AnswerCommandLine(argc, argv)) {
        return *answered;
    }
    CQuorvantelApp app(argc, argv);
    return app.Run();
}
