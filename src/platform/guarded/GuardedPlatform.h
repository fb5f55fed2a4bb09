#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/Platform.h"

// A platform whose drives and folders can never freeze the agent. Capacity and drive-type queries run on a
// worker thread per drive, every operation on a file on a worker thread per folder (the path up to its last
// separator, '/' or '\'); the caller waits at most a time bound. An operation that overruns counts as
// failed and its drive or folder is stuck: it is not asked again until the earlier operation has returned,
// so at most one operation per drive and per folder is ever outstanding. A move between two folders needs
// both to answer and leaves both stuck when it overruns. Every other operation goes straight to the
// wrapped platform.
class GuardedPlatform final : public Platform {
public:
    explicit GuardedPlatform(std::shared_ptr<Platform> inner,
                             std::chrono::milliseconds bound = std::chrono::seconds(kAnswerBoundSeconds));
    // Never waits for an operation that has not returned: its thread is left to finish on its own.
    ~GuardedPlatform() override;
    GuardedPlatform(const GuardedPlatform&) = delete;
    GuardedPlatform& operator=(const GuardedPlatform&) = delete;

    // From now on a wait for a drive or folder ends early, as an overrun, once stopRequested answers true (the
    // program is ending and must not wait out the bound); asked every few tens of milliseconds of a wait.
    void AbandonWaitsWhen(std::function<bool()> stopRequested) { m_stopRequested = std::move(stopRequested); }

    // True while the drive's last query has not returned yet.
    bool IsStuck(std::string_view root);
    bool FolderStuck(const std::string& path) override;
    bool DriveStuck(std::string_view root) override { return IsStuck(root); }
    std::int64_t UnixTime() override { return m_inner->UnixTime(); }
    // Each drive on its own worker, all at once, with one deadline for the batch; a drive that overruns, or
    // is stuck already, answers as a type query that overran and without capacity.
    std::vector<DriveAnswer> QueryDrives(const std::vector<std::string>& roots) override;

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) override;
    std::optional<VolumeSpace> CurrentDiskFreeSpace() override;
    // An overrunning type query answers the drive's last known type (Remote when none is known), so the
    // letter filter keeps the drive and it publishes its type text.
    DriveType GetDriveType(std::string_view root) override;
    std::string CurrentDriveLetter() override { return m_inner->CurrentDriveLetter(); }
    std::string FolderOfRoot(std::string_view root) override { return m_inner->FolderOfRoot(root); }
    std::string ConfigurationPath() override { return m_inner->ConfigurationPath(); }

    // Operations on files, each bounded by the folder it touches.
    bool RenameNoReplace(const std::string& from, const std::string& to) override {
        return InFolders(from, to, false, [from, to](Platform& p) { return p.RenameNoReplace(from, to); });
    }
    bool CreateOrTruncate(const std::string& path) override {
        return InFolder(path, false, [path](Platform& p) { return p.CreateOrTruncate(path); });
    }
    std::optional<std::string> ReadTextFile(const std::string& path) override {
        return InFolder(path, std::optional<std::string>(), [path](Platform& p) { return p.ReadTextFile(path); });
    }
    // A folder that does not answer may well hold the file: an overrun answers true, so nothing is taken
    // for missing (and replaced) only because its folder is slow.
    bool FileExists(const std::string& path) override {
        return InFolder(path, true, [path](Platform& p) { return p.FileExists(path); });
    }
    std::string ReadFailure(const std::string& path) override {
        return InFolder(path, "the folder did not answer within " + std::to_string(kAnswerBoundSeconds) + " s",
                        [path](Platform& p) { return p.ReadFailure(path); });
    }
    std::string TextLineToUtf8(std::string_view line) override { return m_inner->TextLineToUtf8(line); }
    ProfileConventions SettingsFileConventions() const override { return m_inner->SettingsFileConventions(); }
    bool ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) override {
        return InFolder(path, false, [path, content = std::string(utf8Content)](Platform& p) {
            return p.ReplaceFileAtomically(path, content);
        });
    }

    int LocalMinute() override { return m_inner->LocalMinute(); }
    int MillisecondsToNextMinute() override { return m_inner->MillisecondsToNextMinute(); }
    std::string ToCodePage932(std::string_view utf8) override { return m_inner->ToCodePage932(utf8); }
    std::optional<std::string> AsRequestBytes(std::string_view utf8) override { return m_inner->AsRequestBytes(utf8); }
    bool UsesDriveTable() const override { return m_inner->UsesDriveTable(); }
    std::vector<DriveMapping> DriveTable() override { return m_inner->DriveTable(); }
    void SetDriveTable(std::vector<DriveMapping> table) override { m_inner->SetDriveTable(std::move(table)); }

private:
    class Worker;

    // operation(inner platform) run in the folders of both paths (the same path twice for an operation on
    // one file); failed when a folder is stuck or the operation overruns. The operation must own copies of
    // its arguments: it may outlive the call.
    template <typename T, typename Operation>
    T InFolders(std::string_view first, std::string_view second, T failed, Operation operation) {
        auto result = std::make_shared<T>(failed);
        const bool inTime = RunInFolders(first, second, [result, inner = m_inner, operation = std::move(operation)] {
            *result = operation(*inner);
        });
        return inTime ? std::move(*result) : failed;
    }
    template <typename T, typename Operation> T InFolder(std::string_view path, T failed, Operation operation) {
        return InFolders(path, path, std::move(failed), std::move(operation));
    }
    // Runs the job on the first path's folder worker, with the second path's folder (when another) counted
    // busy until it returns. False when either folder is stuck or the job overran.
    bool RunInFolders(std::string_view first, std::string_view second, std::function<void()> job);

    // The worker of a drive (by upper-cased root; empty for the current directory's volume).
    Worker& WorkerOf(std::string_view root);
    // The worker of the folder that holds the path.
    std::shared_ptr<Worker> FolderWorkerOf(std::string_view path);

    std::shared_ptr<Platform> m_inner;
    std::chrono::milliseconds m_bound;
    std::function<bool()> m_stopRequested;
    std::map<std::string, std::shared_ptr<Worker>> m_workers;
    std::map<std::string, std::shared_ptr<Worker>> m_folderWorkers;
    std::map<std::string, DriveType> m_lastTypes;
};
