#include "agent/SignalWatcher.h"
#include "app/CQuorvantelApp.h"

int main(int argc, char** argv) {
    SignalWatcher::InstallHandlers();
    CQuorvantelApp app(argc, argv);
    return app.Run();
}
