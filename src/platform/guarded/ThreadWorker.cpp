// Workers on threads of the agent's process (Windows).
#include "platform/guarded/GuardedWorker.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

class ThreadWorker final : public GuardedWorker {
public:
    explicit ThreadWorker(std::shared_ptr<Platform> platform) : m_state(std::make_shared<State>()) {
        m_state->platform = std::move(platform);
        // The thread holds the state, so an operation that hangs outlives the worker safely.
        m_thread = std::thread([state = m_state] { ServeOperations(*state); });
    }

    ~ThreadWorker() override {
        bool busy = false;
        {
            std::lock_guard lock(m_state->mutex);
            m_state->stop = true;
            busy = m_state->returned < m_posted;
        }
        m_state->wake.notify_all();
        if (busy) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }
    ThreadWorker(const ThreadWorker&) = delete;
    ThreadWorker& operator=(const ThreadWorker&) = delete;

    bool Post(const GuardedOperation& operation) override {
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->returned < m_posted) {
                return false;
            }
            m_state->job = operation;
            ++m_posted;
        }
        m_state->wake.notify_one();
        return true;
    }

    std::optional<GuardedOutcome> Wait(Clock::time_point deadline,
                                       const std::function<bool()>& stopRequested) override {
        std::unique_lock lock(m_state->mutex);
        for (;;) {
            const auto slice = std::min(deadline, Clock::now() + kStopCheckInterval);
            if (m_state->done.wait_until(lock, slice, [this] { return m_state->returned == m_posted; })) {
                return m_state->outcome;
            }
            if (Clock::now() >= deadline || (stopRequested && stopRequested())) {
                return std::nullopt;
            }
        }
    }

    std::uint64_t Returned() override {
        std::lock_guard lock(m_state->mutex);
        return m_state->returned;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable done;
        std::optional<GuardedOperation> job;
        GuardedOutcome outcome;
        std::uint64_t returned = 0;
        bool stop = false;
        std::shared_ptr<Platform> platform;
    };

    // The thread: runs each operation handed over until the worker stops.
    static void ServeOperations(State& state) {
        std::unique_lock lock(state.mutex);
        for (;;) {
            state.wake.wait(lock, [&] { return state.stop || state.job; });
            if (!state.job) {
                return;
            }
            const GuardedOperation job = std::move(*state.job);
            state.job.reset();
            lock.unlock();
            GuardedOutcome outcome;
            try {
                outcome = Perform(*state.platform, job);
            } catch (...) {
                // An operation that threw (out of memory) has failed; the worker goes on.
            }
            lock.lock();
            state.outcome = std::move(outcome);
            ++state.returned;
            // The caller is woken without the lock held, so it does not wake only to wait for it.
            lock.unlock();
            state.done.notify_all();
            lock.lock();
        }
    }

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace

std::shared_ptr<GuardedWorker> StartGuardedWorker(const GuardedWorkerSetup& setup) {
    return std::make_shared<ThreadWorker>(setup.shared);
}
