#include "platform/Session.h"

// The Windows program is one native executable that ends through its own window messages: there are no stop
// signals to watch, no display to look for and no module to load.

StopRequestHandle WatchStopRequests() {
    return kNoStopRequests;
}

int TakeStopRequest() {
    return 0;
}

bool StopRequestArrived() {
    return false;
}

bool DisplayMayExist() {
    return true;
}

bool ProbeApart(bool (*probe)(int argc, char** argv), int argc, char** argv, int /*timeoutSeconds*/) {
    return probe(argc, argv);
}

void* LoadModuleSymbol(const std::string& fileName, const std::string& /*relativeFolder*/, const char* /*symbol*/,
                       std::string& failure) {
    failure = fileName + ": the Windows program loads no modules";
    return nullptr;
}
