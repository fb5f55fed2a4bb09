#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/guarded/GuardedWorker.h"

// A platform whose drives and folders can never freeze the agent. Capacity and drive-type queries run on a
// worker per drive, every operation on a file on a worker per folder (the path up to its last separator, '/' or
// '\'); the caller waits at most a time bound. A worker is a process of its own on POSIX and a thread on
// Windows (see GuardedWorker). An operation that overruns counts as failed and its drive or folder is stuck: it
// is not asked again until the earlier operation has returned, so at most one operation per drive and per
// folder is ever outstanding. A move between two folders needs both to answer and leaves both stuck when it
// overruns. Every other operation goes straight to the wrapped platform.
class GuardedPlatform final : public Platform {
public:
    // makePlatform makes the wrapped platform; workers that are processes make their own copy with it.
    explicit GuardedPlatform(std::function<std::unique_ptr<Platform>()> makePlatform,
                             std::chrono::milliseconds bound = std::chrono::seconds(kAnswerBoundSeconds));
    // Never waits for an operation that has not returned: its worker is left to finish on its own.
    ~GuardedPlatform() override;
    GuardedPlatform(const GuardedPlatform&) = delete;
    GuardedPlatform& operator=(const GuardedPlatform&) = delete;

    // From now on a wait for a drive or folder ends early, as an overrun, once stopRequested answers true (the
    // program is ending and must not wait out the bound); asked every few tens of milliseconds of a wait.
    void AbandonWaitsWhen(std::function<bool()> stopRequested) { m_stopRequested = std::move(stopRequested); }

    // True while the drive's last query has not returned yet.
    bool IsStuck(std::string_view root) const;
    bool FolderStuck(const std::string& path) const override;
    bool DriveStuck(std::string_view root) const override { return IsStuck(root); }
    std::int64_t UnixTime() const override { return m_inner->UnixTime(); }
    // Each drive on its own worker, all at once, with one deadline for the batch; a drive that overruns, or
    // is stuck already, answers as a type query that overran and without capacity.
    std::vector<DriveAnswer> QueryDrives(const std::vector<std::string>& roots) const override;

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) const override;
    std::optional<VolumeSpace> CurrentDiskFreeSpace() const override;
    // An overrunning type query answers the drive's last known type (Remote when none is known), so the
    // letter filter keeps the drive and it publishes its type text.
    DriveType GetDriveType(std::string_view root) const override;
    // Looks at every folder of the drive table, so it is bounded like the current directory's volume, and
    // answers no letter when that overruns or is stuck.
    std::string CurrentDriveLetter() const override;
    std::string FolderOfRoot(std::string_view root) const override { return m_inner->FolderOfRoot(root); }
    std::string ConfigurationPath() const override { return m_inner->ConfigurationPath(); }

    // Operations on files, each bounded by the folder it touches.
    bool RenameNoReplace(const std::string& from, const std::string& to) override {
        return InFolders(from, to, {Kind::RenameNoReplace, from, to}).value_or(GuardedOutcome{}).done;
    }
    bool CreateOrTruncate(const std::string& path) override {
        return InFolders(path, path, {Kind::CreateOrTruncate, path, {}}).value_or(GuardedOutcome{}).done;
    }
    std::optional<std::string> ReadTextFile(const std::string& path) const override {
        return InFolders(path, path, {Kind::ReadTextFile, path, {}}).value_or(GuardedOutcome{}).text;
    }
    // A folder that does not answer may well hold the file: an overrun answers true, so nothing is taken
    // for missing (and replaced) only because its folder is slow.
    bool FileExists(const std::string& path) const override {
        const auto outcome = InFolders(path, path, {Kind::FileExists, path, {}});
        return !outcome || outcome->done;
    }
    std::string ReadFailure(const std::string& path) const override {
        const std::optional<GuardedOutcome> outcome = InFolders(path, path, {Kind::ReadFailure, path, {}});
        return outcome && outcome->text ? *outcome->text : FolderDidNotAnswer();
    }
    std::string TextLineToUtf8(std::string_view line) const override { return m_inner->TextLineToUtf8(line); }
    ProfileConventions SettingsFileConventions() const override { return m_inner->SettingsFileConventions(); }
    bool ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) override {
        return InFolders(path, path, {Kind::ReplaceFileAtomically, path, std::string(utf8Content)})
            .value_or(GuardedOutcome{})
            .done;
    }

    int LocalMinute() const override { return m_inner->LocalMinute(); }
    int MillisecondsToNextMinute() const override { return m_inner->MillisecondsToNextMinute(); }
    std::string ToCodePage932(std::string_view utf8) const override { return m_inner->ToCodePage932(utf8); }
    std::optional<std::string> AsRequestBytes(std::string_view utf8) const override {
        return m_inner->AsRequestBytes(utf8);
    }
    bool UsesDriveTable() const override { return m_inner->UsesDriveTable(); }
    std::vector<DriveMapping> DriveTable() const override { return m_inner->DriveTable(); }
    // Workers made before take the new table once they are idle (they are replaced).
    void SetDriveTable(std::vector<DriveMapping> table) override;

private:
    using Kind = GuardedOperation::Kind;

    // The worker of one drive or folder, and the move (in another folder's worker) that holds it meanwhile.
    struct Slot {
        std::shared_ptr<GuardedWorker> worker;
        std::uint64_t generation = 0; // of the drive table the worker was made with
        std::shared_ptr<GuardedWorker> heldBy;
        std::uint64_t heldUntil = 0; // held until heldBy has returned this many operations
    };

    // The operation run on the first path's folder worker, with the second path's folder (when another)
    // counted busy until it returns. nullopt when either folder is stuck or the operation overran.
    std::optional<GuardedOutcome> InFolders(std::string_view first, std::string_view second,
                                            const GuardedOperation& operation) const;
    // The operation run on the drive's worker; nullopt when the drive is stuck or the operation overran.
    std::optional<GuardedOutcome> OnDrive(std::string_view root, const GuardedOperation& operation) const;

    static bool Busy(Slot& slot);
    // The slot's worker, made anew when it has none yet, it cannot take operations or it has an old drive table;
    // the slot must not be busy. nullptr when no worker can be started.
    GuardedWorker* WorkerOf(Slot& slot) const;

    std::shared_ptr<Platform> m_inner;
    std::function<std::unique_ptr<Platform>()> m_makePlatform;
    std::chrono::milliseconds m_bound;
    std::function<bool()> m_stopRequested;
    std::optional<std::vector<DriveMapping>> m_driveTable;
    std::uint64_t m_generation = 0;
    // The workers and what they last answered: a query hands its operation to a worker, so even a const one
    // changes them.
    mutable std::map<std::string, Slot> m_drives;  // by upper-cased root; empty for the current directory's volume
    mutable std::map<std::string, Slot> m_folders; // by folder, with its final separator
    mutable std::map<std::string, DriveType> m_lastTypes;
};
