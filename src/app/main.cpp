#include "app/CQuorvantelApp.h"
#include "app/CommandLine.h"
#include "platform/Session.h"

int main(int argc, char** argv) {
    // Options are answered before anything starts: no handler, no lock, no port, no file.
    if (const std::optional<int> answered = AnswerCommandLine(argc, argv)) {
        return *answered;
    }
    // Then first thing: a stop request while the program starts is kept for the agent, not fatal.
    WatchStopRequests();
    CQuorvantelApp app(argc, argv);
    return app.Run();
}
