#include "platform/Session.h"

// The Windows program is one native executable that ends through its own window messages: there are no stop
// or reload signals to watch, no display to look for and no module to load. Nor does it lock its folder: it
// does not ask for the lock, and LockInstance here holds nothing and answers Taken, so a caller starts as it
// always did.

StopRequestHandle WatchStopRequests() {
    return kNoStopRequests;
}

SessionRequests TakeSessionRequests() {
    return {};
}

bool StopRequestArrived() {
    return false;
}

InstanceLock LockInstance(const std::string& /*path*/) {
    InstanceLock lock;
    lock.outcome = InstanceLock::Outcome::Taken;
    return lock;
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
