#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "core/capacity/CapacityReading.h"
#include "core/capacity/DialogExchange.h"
#include "platform/Platform.h"
#include "core/settings/IniProfile.h"
#include "core/settings/MonitorSettings.h"

// Run-time state of one other drive (slot).
struct DriveSlot {
    std::string lastFolder;              // folder in which its status file was last published
    DriveType type = DriveType::Unknown; // written by the letter filter
    CapacityFigures reading;             // last measurement
    std::int64_t publishedAt = 0;        // when its status file was last published (Unix seconds); 0: not yet
};

// What started a refresh cycle.
enum class RefreshTrigger { Auto, Dialog, Network };
inline constexpr std::size_t kRefreshTriggers = 3;

// Starts the command listener on the port and the local address ([Http] Address; empty for all IPv4 ones).
using ListenerStart = std::function<void(int port, const std::string& address)>;

// The one holder of the settings, the readings and the cross-cutting flags for the whole run, with the
// operations that change them: settings load and save, measurement, status files and the refresh cycle.
class Monitor {
public:
    Monitor(Platform& platform, std::string configurationPath);

    Platform& GetPlatform() { return m_platform; }
    const std::string& ConfigurationPath() const { return m_configurationPath; }

    MonitorSettings& Settings() { return m_settings; }
    const MonitorSettings& Settings() const { return m_settings; }
    CapacityReading& Reading() { return m_reading; }
    const CapacityReading& Reading() const { return m_reading; }
    std::array<DriveSlot, kDriveSlots>& Slots() { return m_slots; }
    const std::string& LastStatusFolder() const { return m_lastStatusFolder; }

    // Minutes counted towards the next automatic refresh: Time after the settings load, 0 after every save.
    int MinuteCounter() const { return m_minuteCounter; }
    // One more change of the local minute seen (the count stops at INT_MAX).
    void CountMinute();
    // The count starts again from 0 (after the automatic refresh).
    void RestartMinuteCount() { m_minuteCounter = 0; }

    // The warning-pending flag: 1 when a refresh found the free MB below Nokori and no box has shown it yet.
    int WarningPending() const { return m_warningPending; }
    // A refresh found the free MB below the threshold.
    void RaiseWarning() { m_warningPending = 1; }
    // The warning was shown, or the settings dialog opened.
    void ClearWarning() { m_warningPending = 0; }

    // The window-open flag: 1 while a DialogExchange is attached.
    bool WindowOpen() const { return m_dialog != nullptr; }
    void AttachDialog(DialogExchange* dialog);

    // Called after every refresh cycle and whenever the settings dialog opens or closes: what the agent
    // shows may have changed.
    void SetChangeObserver(std::function<void()> observer) { m_changed = std::move(observer); }

    // Reads the settings file in the fixed key order; calls startListening with Port and [Http] Address after
    // Nokori has been read. Sets the last status-file folders, the minute counter and the drive table. Returns
    // Directory. When the file is there and cannot be read (or its folder does not answer), the defaults are
    // used and no save of this run replaces the file.
    std::string LoadSettings(const ListenerStart& startListening = {});
    // Reads the settings file again as at start, without a listener (the port stays until a restart), measures
    // the main drive and fills the texts; an open settings dialog then shows what was read. The status files
    // keep their last folders and names, so the next refresh moves them. A file that cannot be read changes
    // nothing: false, and one line says why.
    bool ReloadSettings();
    // Writes all keys in the fixed order in one atomic replace of the file, keeping its other content;
    // then the minute counter is 0. A file that already holds those bytes is not written again. A failed
    // write leaves the old file whole. A file that exists but cannot be read is left alone until a later
    // save; a missing one is created. A save that fails, and the first one that works again, are reported
    // once each.
    void SaveSettings();

    // Measures the main drive named by Directory, falling back to the current directory's drive (and
    // rewriting Directory to its letter and measuring that letter). Fills the MB figures of the reading.
    void MeasureMainDrive();
    // The measurement of the settings dialog's opening: as MeasureMainDrive, but an empty Directory stays empty.
    void OpeningMeasurement();
    // Fills the three texts of the reading from its figures and GByte.
    void FormatTexts();
    // The refresh cycle that every kind of refresh runs, counted by its trigger. A status folder that stops
    // taking its file, and one that takes it again, are reported once each.
    void RefreshCycle(RefreshTrigger trigger = RefreshTrigger::Dialog);
    // Refresh cycles run since the start, by trigger (indexed by RefreshTrigger).
    const std::array<std::uint64_t, kRefreshTriggers>& RefreshCounts() const { return m_refreshCounts; }
    // When the settings were loaded (Unix seconds), i.e. when the agent started.
    std::int64_t StartedAt() const { return m_startedAt; }
    // When the main drive's status file was last published (Unix seconds); 0 when not yet in this run.
    std::int64_t MainPublishedAt() const { return m_mainPublishedAt; }

    // Keeps the first nine letters of Directory2 that name an existing drive and records their types.
    void FilterDriveLetters();
    // Measures each other drive and publishes its status file.
    void RefreshOtherDrives(int gbyte);

private:
    // The settings file's text (none when missing) as a profile whose lines the platform decodes.
    IniProfile SettingsProfile(const std::optional<std::string>& text);
    // MeasureMainDrive; an empty Directory takes the current drive's letter only when nameEmptyDirectory.
    void MeasureMainDrive(bool nameEmptyDirectory);
    // UpdateStatusFile, noting how its folder fared in this cycle; a folder still stuck in an earlier
    // operation is left alone, the remembered folder and name included. True when published.
    bool Publish(std::string& lastFolder, std::string& lastName, const std::string& folder, const std::string& name);
    // Reports each folder whose publications of this cycle fared otherwise than those reported last.
    void ReportPublications();
    // Applies the settings read from the file (see LoadSettings).
    void ApplySettings(const IniProfile& ini, const ListenerStart& startListening);
    // Drops the drives of the automatic drive table whose folders the settings file cannot hold.
    void KeepSavableDrives();
    // Why the settings file cannot be read.
    std::string ReadFailureReason();
    // Why a failed operation on the path failed: its folder did not answer, or else the given reason.
    std::string FailureReason(const std::string& path, const char* otherwise);

    Platform& m_platform;
    std::string m_configurationPath;
    MonitorSettings m_settings;
    CapacityReading m_reading;
    std::string m_lastStatusFolder;
    std::array<DriveSlot, kDriveSlots> m_slots;
    int m_minuteCounter = 0;
    int m_warningPending = 0;
    DialogExchange* m_dialog = nullptr;
    std::function<void()> m_changed;
    bool m_writeDriveTable = false; // the file had no drive table: the next save writes it once
    bool m_loadMissed = false;      // its folder did not answer the load: the settings in memory are not the file's
    // Failure reasons by status folder (empty: published): as last reported, and as met in this cycle.
    std::map<std::string, std::string> m_publicationFailures;
    std::map<std::string, std::string> m_cycleFailures;
    std::string m_saveFailure; // of the last settings save, as reported; empty when it was saved
    std::array<std::uint64_t, kRefreshTriggers> m_refreshCounts{};
    std::int64_t m_startedAt = 0;
    std::int64_t m_mainPublishedAt = 0;
};
