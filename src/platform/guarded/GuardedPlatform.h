#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "platform/Platform.h"

// A platform whose drive queries can never freeze the agent: capacity and drive-type queries run on a
// worker thread per drive and are waited for at most a time bound. A query that overruns counts as failed;
// its drive is stuck and is not queried again until the earlier query has returned, so at most one query
// per drive is ever outstanding. Every other operation goes straight to the wrapped platform.
class GuardedPlatform final : public Platform {
public:
    explicit GuardedPlatform(std::shared_ptr<Platform> inner,
                             std::chrono::milliseconds bound = std::chrono::milliseconds(2000));
    ~GuardedPlatform() override;
    GuardedPlatform(const GuardedPlatform&) = delete;
    GuardedPlatform& operator=(const GuardedPlatform&) = delete;

    // True while the drive's last query has not returned yet.
    bool IsStuck(std::string_view root);

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) override;
    std::optional<VolumeSpace> CurrentDiskFreeSpace() override;
    // An overrunning type query answers the drive's last known type (Remote when none is known), so the
    // letter filter keeps the drive and it publishes its type text.
    DriveType GetDriveType(std::string_view root) override;
    std::string CurrentDriveLetter() override { return m_inner->CurrentDriveLetter(); }
    std::string FolderOfRoot(std::string_view root) override { return m_inner->FolderOfRoot(root); }
    std::string ConfigurationPath() override { return m_inner->ConfigurationPath(); }
    bool RenameNoReplace(const std::string& from, const std::string& to) override {
        return m_inner->RenameNoReplace(from, to);
    }
    bool CreateOrTruncate(const std::string& path) override { return m_inner->CreateOrTruncate(path); }
    std::optional<std::string> ReadTextFile(const std::string& path) override { return m_inner->ReadTextFile(path); }
    std::string TextLineToUtf8(std::string_view line) override { return m_inner->TextLineToUtf8(line); }
    bool FileExists(const std::string& path) override { return m_inner->FileExists(path); }
    bool ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) override {
        return m_inner->ReplaceFileAtomically(path, utf8Content);
    }
    int LocalMinute() override { return m_inner->LocalMinute(); }
    std::string ToCodePage932(std::string_view utf8) override { return m_inner->ToCodePage932(utf8); }
    bool UsesDriveTable() const override { return m_inner->UsesDriveTable(); }
    std::vector<DriveMapping> DriveTable() override { return m_inner->DriveTable(); }
    void SetDriveTable(std::vector<DriveMapping> table) override { m_inner->SetDriveTable(std::move(table)); }

private:
    class Worker;
    // The worker of a drive (by upper-cased root; empty for the current directory's volume).
    Worker& WorkerOf(std::string_view root);

    std::shared_ptr<Platform> m_inner;
    std::chrono::milliseconds m_bound;
    std::map<std::string, std::shared_ptr<Worker>> m_workers;
    std::map<std::string, DriveType> m_lastTypes;
};
