#include "platform/guarded/GuardedPlatform.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
// How often a wait asks whether the program is ending.
constexpr std::chrono::milliseconds kStopCheckInterval(50);
} // namespace

// One thread that runs the operations of one drive or folder, one at a time. The thread holds its worker,
// so a worker whose operation hangs lives on after its platform until the operation returns.
class GuardedPlatform::Worker {
public:
    static std::shared_ptr<Worker> Start() {
        auto worker = std::make_shared<Worker>();
        worker->m_thread = std::thread([worker] { worker->Run(); });
        return worker;
    }

    // Runs the job on the worker and waits at most bound for it, or until stopRequested answers true;
    // other (when given) counts busy as well until the job returns. False when either worker is busy with an
    // earlier job or the job overran; the job then finishes in the background.
    bool RunBounded(std::function<void()> job, std::chrono::milliseconds bound,
                    const std::function<bool()>& stopRequested, std::shared_ptr<Worker> other = {}) {
        return Post(std::move(job), std::move(other)) &&
               WaitDone(std::chrono::steady_clock::now() + bound, stopRequested);
    }

    // Hands the job to the worker without waiting; false when either worker is busy with an earlier job.
    bool Post(std::function<void()> job, std::shared_ptr<Worker> other = {}) {
        if (other && !other->Reserve()) {
            return false;
        }
        std::unique_lock lock(m_mutex);
        if (m_busy) {
            lock.unlock();
            if (other) {
                other->Release();
            }
            return false;
        }
        if (other) {
            job = [job = std::move(job), other = std::move(other)] {
                const ReleaseOnReturn release{*other};
                job();
            };
        }
        m_job = std::move(job);
        m_busy = true;
        // Woken without the lock held, so the worker does not wake only to wait for it.
        lock.unlock();
        m_wake.notify_one();
        return true;
    }

    // Waits until the posted job has returned (true), the deadline passes or stopRequested answers true.
    bool WaitDone(std::chrono::steady_clock::time_point deadline, const std::function<bool()>& stopRequested) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            const auto slice = std::min(deadline, std::chrono::steady_clock::now() + kStopCheckInterval);
            if (m_done.wait_until(lock, slice, [this] { return !m_busy; })) {
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline || (stopRequested && stopRequested())) {
                return false;
            }
        }
    }

    bool Busy() {
        std::lock_guard lock(m_mutex);
        return m_busy;
    }

    // Ends the thread: joined when idle, left to finish on its own when a job hangs.
    void Stop() {
        bool busy = false;
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
            busy = m_busy;
            m_wake.notify_all();
        }
        if (busy) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }

private:
    struct ReleaseOnReturn {
        Worker& worker;
        ~ReleaseOnReturn() { worker.Release(); }
    };

    // Counts the worker busy without a job of its own (the second folder of a move).
    bool Reserve() {
        std::lock_guard lock(m_mutex);
        if (m_busy) {
            return false;
        }
        m_busy = true;
        return true;
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_busy = false;
        m_done.notify_all();
    }

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
            try {
                job();
            } catch (...) {
                // An operation that threw (out of memory) has failed; the worker goes on.
            }
            job = nullptr; // what the job holds is released outside the lock
            lock.lock();
            m_busy = false;
            if (m_stop) {
                m_done.notify_all();
                return;
            }
            // The caller is woken without the lock held, so it does not wake only to wait for it.
            lock.unlock();
            m_done.notify_all();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::function<void()> m_job;
    bool m_busy = false;
    bool m_stop = false;
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

// The folder part of a path, with its final separator; empty for a bare name (the current directory).
std::string FolderKey(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? std::string() : std::string(path.substr(0, separator + 1));
}

template <typename T>
std::optional<T> Bounded(auto& worker, std::chrono::milliseconds bound, const std::function<bool()>& stopRequested,
                         std::function<T()> query) {
    auto outcome = std::make_shared<T>();
    const bool inTime =
        worker.RunBounded([outcome, query = std::move(query)] { *outcome = query(); }, bound, stopRequested);
    if (!inTime) {
        return std::nullopt;
    }
    return std::move(*outcome);
}

} // namespace

GuardedPlatform::GuardedPlatform(std::shared_ptr<Platform> inner, std::chrono::milliseconds bound)
    : m_inner(std::move(inner)), m_bound(bound) {}

GuardedPlatform::~GuardedPlatform() {
    for (auto* workers : {&m_workers, &m_folderWorkers}) {
        for (auto& [key, worker] : *workers) {
            worker->Stop();
        }
    }
}

GuardedPlatform::Worker& GuardedPlatform::WorkerOf(std::string_view root) {
    auto& worker = m_workers[DriveKey(root)];
    if (!worker) {
        worker = Worker::Start();
    }
    return *worker;
}

std::shared_ptr<GuardedPlatform::Worker> GuardedPlatform::FolderWorkerOf(std::string_view path) {
    auto& worker = m_folderWorkers[FolderKey(path)];
    if (!worker) {
        worker = Worker::Start();
    }
    return worker;
}

bool GuardedPlatform::IsStuck(std::string_view root) {
    const auto it = m_workers.find(DriveKey(root));
    return it != m_workers.end() && it->second->Busy();
}

bool GuardedPlatform::FolderStuck(const std::string& path) {
    const auto it = m_folderWorkers.find(FolderKey(path));
    return it != m_folderWorkers.end() && it->second->Busy();
}

bool GuardedPlatform::RunInFolders(std::string_view first, std::string_view second, std::function<void()> job) {
    const std::shared_ptr<Worker> worker = FolderWorkerOf(first);
    std::shared_ptr<Worker> other = FolderWorkerOf(second);
    if (other == worker) {
        other = nullptr;
    }
    return worker->RunBounded(std::move(job), m_bound, m_stopRequested, std::move(other));
}

std::optional<VolumeSpace> GuardedPlatform::DiskFreeSpace(std::string_view root) {
    std::function<std::optional<VolumeSpace>()> query = [inner = m_inner, root = std::string(root)] {
        return inner->DiskFreeSpace(root);
    };
    return Bounded(WorkerOf(root), m_bound, m_stopRequested, std::move(query)).value_or(std::nullopt);
}

std::optional<VolumeSpace> GuardedPlatform::CurrentDiskFreeSpace() {
    std::function<std::optional<VolumeSpace>()> query = [inner = m_inner] { return inner->CurrentDiskFreeSpace(); };
    return Bounded(WorkerOf({}), m_bound, m_stopRequested, std::move(query)).value_or(std::nullopt);
}

DriveType GuardedPlatform::GetDriveType(std::string_view root) {
    std::function<DriveType()> query = [inner = m_inner, root = std::string(root)] {
        return inner->GetDriveType(root);
    };
    const std::string key = DriveKey(root);
    if (const auto type = Bounded(WorkerOf(root), m_bound, m_stopRequested, std::move(query))) {
        m_lastTypes[key] = *type;
        return *type;
    }
    const auto last = m_lastTypes.find(key);
    return last != m_lastTypes.end() ? last->second : DriveType::Remote;
}

std::vector<DriveAnswer> GuardedPlatform::QueryDrives(const std::vector<std::string>& roots) {
    struct Pending {
        std::string key;
        std::shared_ptr<DriveAnswer> answer;
        Worker* worker = nullptr;
        bool posted = false;
    };
    std::vector<Pending> pending;
    std::map<std::string, std::size_t> firstOfKey; // a drive named twice is asked once
    for (const std::string& root : roots) {
        Pending query{DriveKey(root), std::make_shared<DriveAnswer>(), nullptr, false};
        if (!firstOfKey.contains(query.key)) {
            firstOfKey[query.key] = pending.size();
            query.worker = &WorkerOf(root);
            query.posted = query.worker->Post([answer = query.answer, inner = m_inner, root] {
                answer->type = inner->GetDriveType(root);
                answer->space = inner->DiskFreeSpace(root);
            });
        }
        pending.push_back(std::move(query));
    }
    const auto deadline = std::chrono::steady_clock::now() + m_bound;
    std::vector<DriveAnswer> answers;
    answers.reserve(pending.size());
    for (Pending& query : pending) {
        const Pending& first = pending[firstOfKey[query.key]];
        if (&first != &query) {
            answers.push_back(answers[firstOfKey[query.key]]);
            continue;
        }
        if (query.posted && query.worker->WaitDone(deadline, m_stopRequested)) {
            m_lastTypes[query.key] = query.answer->type;
            answers.push_back(*query.answer);
            continue;
        }
        DriveAnswer overran;
        const auto last = m_lastTypes.find(query.key);
        overran.type = last != m_lastTypes.end() ? last->second : DriveType::Remote;
        overran.answeredInTime = false;
        answers.push_back(overran);
    }
    return answers;
}
