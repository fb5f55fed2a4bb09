#include "platform/guarded/GuardedPlatform.h"

#include "platform/PathText.h"

#include <cctype>

namespace {

std::string DriveKey(std::string_view root) {
    std::string key(root);
    for (char& c : key) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return key;
}

} // namespace

GuardedPlatform::GuardedPlatform(std::function<std::unique_ptr<Platform>()> makePlatform,
                                 std::chrono::milliseconds bound)
    : m_inner(makePlatform()), m_makePlatform(std::move(makePlatform)), m_bound(bound) {}

// The workers go with their slots: none is waited for while an operation of it is outstanding.
GuardedPlatform::~GuardedPlatform() = default;

void GuardedPlatform::SetDriveTable(std::vector<DriveMapping> table) {
    m_driveTable = table;
    ++m_generation;
    m_inner->SetDriveTable(std::move(table));
}

bool GuardedPlatform::Busy(Slot& slot) {
    if (slot.heldBy && slot.heldBy->Returned() >= slot.heldUntil) {
        slot.heldBy.reset();
    }
    return slot.heldBy || (slot.worker && slot.worker->Busy());
}

GuardedWorker* GuardedPlatform::WorkerOf(Slot& slot) const {
    if (!slot.worker || !slot.worker->Usable() || slot.generation != m_generation) {
        slot.worker.reset();
        slot.worker = StartGuardedWorker({m_inner, m_makePlatform, m_driveTable});
        slot.generation = m_generation;
    }
    return slot.worker.get();
}

bool GuardedPlatform::IsStuck(std::string_view root) const {
    const auto it = m_drives.find(DriveKey(root));
    return it != m_drives.end() && Busy(it->second);
}

bool GuardedPlatform::FolderStuck(const std::string& path) const {
    const auto it = m_folders.find(FolderOf(path));
    return it != m_folders.end() && Busy(it->second);
}

std::optional<GuardedOutcome> GuardedPlatform::InFolders(std::string_view first, std::string_view second,
                                                         const GuardedOperation& operation) const {
    Slot& slot = m_folders[FolderOf(first)];
    Slot* other = &m_folders[FolderOf(second)];
    if (other == &slot) {
        other = nullptr;
    }
    if (Busy(slot) || (other != nullptr && Busy(*other))) {
        return std::nullopt;
    }
    GuardedWorker* worker = WorkerOf(slot);
    if (worker == nullptr || !worker->Post(operation)) {
        return std::nullopt;
    }
    if (other != nullptr) {
        other->heldBy = slot.worker;
        other->heldUntil = worker->Posted();
    }
    return worker->Wait(GuardedWorker::Clock::now() + m_bound, m_stopRequested);
}

std::optional<GuardedOutcome> GuardedPlatform::OnDrive(std::string_view root, const GuardedOperation& operation) const {
    Slot& slot = m_drives[DriveKey(root)];
    if (Busy(slot)) {
        return std::nullopt;
    }
    GuardedWorker* worker = WorkerOf(slot);
    if (worker == nullptr || !worker->Post(operation)) {
        return std::nullopt;
    }
    return worker->Wait(GuardedWorker::Clock::now() + m_bound, m_stopRequested);
}

std::optional<VolumeSpace> GuardedPlatform::DiskFreeSpace(std::string_view root) const {
    const auto outcome = OnDrive(root, {Kind::DiskFreeSpace, std::string(root), {}});
    return outcome ? outcome->drive.space : std::nullopt;
}

std::optional<VolumeSpace> GuardedPlatform::CurrentDiskFreeSpace() const {
    const auto outcome = OnDrive({}, {Kind::CurrentDiskFreeSpace, {}, {}});
    return outcome ? outcome->drive.space : std::nullopt;
}

std::string GuardedPlatform::CurrentDriveLetter() const {
    const auto outcome = OnDrive({}, {Kind::CurrentDriveLetter, {}, {}});
    return outcome && outcome->text ? *outcome->text : std::string();
}

DriveType GuardedPlatform::GetDriveType(std::string_view root) const {
    const std::string key = DriveKey(root);
    if (const auto outcome = OnDrive(root, {Kind::DriveType, std::string(root), {}})) {
        m_lastTypes[key] = outcome->drive.type;
        return outcome->drive.type;
    }
    const auto last = m_lastTypes.find(key);
    return last != m_lastTypes.end() ? last->second : DriveType::Remote;
}

std::vector<DriveAnswer> GuardedPlatform::QueryDrives(const std::vector<std::string>& roots) const {
    struct Pending {
        std::string key;
        GuardedWorker* worker = nullptr; // set when the query was handed over
    };
    std::vector<Pending> pending;
    std::map<std::string, std::size_t> firstOfKey; // a drive named twice is asked once
    for (const std::string& root : roots) {
        Pending query{DriveKey(root), nullptr};
        if (firstOfKey.emplace(query.key, pending.size()).second) {
            Slot& slot = m_drives[query.key];
            GuardedWorker* worker = Busy(slot) ? nullptr : WorkerOf(slot);
            if (worker != nullptr && worker->Post({Kind::Drive, root, {}})) {
                query.worker = worker;
            }
        }
        pending.push_back(std::move(query));
    }
    const auto deadline = GuardedWorker::Clock::now() + m_bound;
    std::vector<DriveAnswer> answers;
    answers.reserve(pending.size());
    for (std::size_t i = 0; i < pending.size(); ++i) {
        const Pending& query = pending[i];
        if (const std::size_t first = firstOfKey[query.key]; first != i) {
            answers.push_back(answers[first]);
            continue;
        }
        if (query.worker != nullptr) {
            if (const auto outcome = query.worker->Wait(deadline, m_stopRequested)) {
                m_lastTypes[query.key] = outcome->drive.type;
                answers.push_back(outcome->drive);
                continue;
            }
        }
        DriveAnswer overran;
        const auto last = m_lastTypes.find(query.key);
        overran.type = last != m_lastTypes.end() ? last->second : DriveType::Remote;
        overran.answeredInTime = false;
        answers.push_back(overran);
    }
    return answers;
}
