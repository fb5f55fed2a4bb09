#include "platform/guarded/GuardedPlatform.h"

#include <cctype>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// One thread that runs the queries of one drive, one at a time.
class GuardedPlatform::Worker {
public:
    Worker() : m_thread([this] { Run(); }) {}

    // Runs the job on the worker and waits at most bound for it. False when the worker is still busy with
    // an earlier job or the job overran; the job then finishes in the background.
    bool RunBounded(std::function<void()> job, std::chrono::milliseconds bound) {
        std::unique_lock lock(m_mutex);
        if (m_busy) {
            return false;
        }
        m_job = std::move(job);
        m_busy = true;
        m_wake.notify_all();
        return m_done.wait_for(lock, bound, [this] { return !m_busy; });
    }

    bool Busy() {
        std::lock_guard lock(m_mutex);
        return m_busy;
    }

    // Ends the thread: joined when idle, left to finish on its own when a query hangs.
    void Stop(std::shared_ptr<Worker> self) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
            m_self = m_busy ? std::move(self) : nullptr; // keeps a hanging worker alive until it returns
            m_wake.notify_all();
        }
        if (m_self) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }

private:
    void Run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || m_job; });
            if (!m_job) {
                return;
            }
            auto job = std::move(m_job);
            m_job = nullptr;
            lock.unlock();
            job();
            lock.lock();
            m_busy = false;
            m_done.notify_all();
            if (m_stop) {
                auto self = std::move(m_self); // may destroy this object: leave at once
                lock.unlock();
                return;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::function<void()> m_job;
    bool m_busy = false;
    bool m_stop = false;
    std::shared_ptr<Worker> m_self;
    std::thread m_thread;
};

namespace {

std::string DriveKey(std::string_view root) {
    std::string key(root);
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return key;
}

// Result slot shared between the caller and a job that may outlive the call.
template <typename T> struct Outcome {
    std::mutex mutex;
    T value{};
};

template <typename T>
std::optional<T> Bounded(auto& worker, std::chrono::milliseconds bound, std::function<T()> query) {
    auto outcome = std::make_shared<Outcome<T>>();
    const bool inTime = worker.RunBounded(
        [outcome, query = std::move(query)] {
            T value = query();
            std::lock_guard lock(outcome->mutex);
            outcome->value = std::move(value);
        },
        bound);
    if (!inTime) {
        return std::nullopt;
    }
    std::lock_guard lock(outcome->mutex);
    return outcome->value;
}

} // namespace

GuardedPlatform::GuardedPlatform(std::shared_ptr<Platform> inner, std::chrono::milliseconds bound)
    : m_inner(std::move(inner)), m_bound(bound) {}

GuardedPlatform::~GuardedPlatform() {
    for (auto& [key, worker] : m_workers) {
        worker->Stop(worker);
    }
}

GuardedPlatform::Worker& GuardedPlatform::WorkerOf(std::string_view root) {
    auto& worker = m_workers[DriveKey(root)];
    if (!worker) {
        worker = std::make_shared<Worker>();
    }
    return *worker;
}

bool GuardedPlatform::IsStuck(std::string_view root) {
    const auto it = m_workers.find(DriveKey(root));
    return it != m_workers.end() && it->second->Busy();
}

std::optional<VolumeSpace> GuardedPlatform::DiskFreeSpace(std::string_view root) {
    std::function<std::optional<VolumeSpace>()> query = [inner = m_inner, root = std::string(root)] {
        return inner->DiskFreeSpace(root);
    };
    return Bounded(WorkerOf(root), m_bound, std::move(query)).value_or(std::nullopt);
}

std::optional<VolumeSpace> GuardedPlatform::CurrentDiskFreeSpace() {
    std::function<std::optional<VolumeSpace>()> query = [inner = m_inner] { return inner->CurrentDiskFreeSpace(); };
    return Bounded(WorkerOf({}), m_bound, std::move(query)).value_or(std::nullopt);
}

DriveType GuardedPlatform::GetDriveType(std::string_view root) {
    std::function<DriveType()> query = [inner = m_inner, root = std::string(root)] {
        return inner->GetDriveType(root);
    };
    const std::string key = DriveKey(root);
    if (const auto type = Bounded(WorkerOf(root), m_bound, std::move(query))) {
        m_lastTypes[key] = *type;
        return *type;
    }
    const auto last = m_lastTypes.find(key);
    return last != m_lastTypes.end() ? last->second : DriveType::Remote;
}
