#pragma once

#include "platform/Platform.h"

// The platform on Windows: the Win32 "A" functions, with texts and paths in the ANSI code page at the
// boundary and UTF-8 above it. The settings file is kept in the ANSI code page.
class Win32Platform final : public Platform {
public:
    // Takes the current directory as the folder of the settings file.
    Win32Platform();

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) const override;
    std::optional<VolumeSpace> CurrentDiskFreeSpace() const override;
    DriveType GetDriveType(std::string_view root) const override;
    std::string CurrentDriveLetter() const override;
    std::string FolderOfRoot(std::string_view root) const override;
    std::string ConfigurationPath() const override;
    bool RenameNoReplace(const std::string& from, const std::string& to) override;
    bool CreateOrTruncate(const std::string& path) override;
    std::optional<std::string> ReadTextFile(const std::string& path) const override;
    std::string TextLineToUtf8(std::string_view line) const override;
    ProfileConventions SettingsFileConventions() const override;
    bool FileExists(const std::string& path) const override;
    bool ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) override;
    int LocalMinute() const override;
    int MillisecondsToNextMinute() const override;
    std::string ToCodePage932(std::string_view utf8) const override;
    std::optional<std::string> AsRequestBytes(std::string_view utf8) const override;
    bool UsesDriveTable() const override;
    std::vector<DriveMapping> DriveTable() const override;
    void SetDriveTable(std::vector<DriveMapping> table) override;

    // The current directory as UTF-8; empty when it cannot be read.
    static std::string CurrentDirectory();

private:
    std::string m_configurationPath;
};
