#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/guarded/GuardedOperation.h"

// Runs the operations of one drive or folder apart from the agent, one at a time: on a thread of its own
// (Windows) or in a process of its own that holds no socket, lock or connection of the agent (POSIX), so
// that even a process stuck in a hung share never holds up the agent's end or a new agent's start.
class GuardedWorker {
public:
    using Clock = std::chrono::steady_clock;

    // Never waits for an operation that has not returned: it is left to finish (or die) on its own.
    virtual ~GuardedWorker() = default;

    // Hands the operation over without waiting; false when the earlier one has not returned or the worker
    // cannot take any more (see Usable).
    virtual bool Post(const GuardedOperation& operation) = 0;
    // Waits for the operation posted last until it returns (its outcome), the deadline passes or stopRequested
    // answers true (nullopt; asked every few tens of milliseconds). nullopt too when the worker failed it.
    virtual std::optional<GuardedOutcome> Wait(Clock::time_point deadline,
                                               const std::function<bool()>& stopRequested) = 0;
    // How many of the operations posted have returned so far.
    virtual std::uint64_t Returned() = 0;
    // False once the worker can take no operation any more (its process has gone); a new one takes its place.
    virtual bool Usable() { return true; }

    std::uint64_t Posted() const { return m_posted; }
    bool Busy() { return Returned() < m_posted; }

protected:
    std::uint64_t m_posted = 0;
};

// What a worker runs its operations on: the agent's own platform, shared (a thread), or one made afresh in
// the worker with the drive table in force (a process).
struct GuardedWorkerSetup {
    std::shared_ptr<Platform> shared;
    std::function<std::unique_ptr<Platform>()> makePlatform;
    std::optional<std::vector<DriveMapping>> driveTable;
};

// A new worker of the kind this system uses; nullptr when none can be started.
std::shared_ptr<GuardedWorker> StartGuardedWorker(const GuardedWorkerSetup& setup);

// How often a wait asks whether the program is ending.
inline constexpr std::chrono::milliseconds kStopCheckInterval(50);
