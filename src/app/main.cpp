#include "app/CQuorvantelApp.h"
#include "platform/Session.h"

int main(int argc, char** argv) {
    // First thing: a stop request while the program starts is kept for the agent, not fatal.
    WatchStopRequests();
    CQuorvantelApp app(argc, argv);
    return app.Run();
}
