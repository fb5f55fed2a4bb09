#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "core/capacity/CapacityReading.h"
#include "core/capacity/DialogExchange.h"
#include "core/capacity/DriveOutlook.h"
#include "core/capacity/StatusPublication.h"
#include "core/settings/MonitorSettings.h"
#include "core/settings/SettingsFile.h"
#include "platform/Platform.h"

// What started a refresh cycle.
enum class RefreshTrigger { Auto, Dialog, Network };
inline constexpr std::size_t kRefreshTriggers = 3;

// The one holder of the settings in force, the readings and the cross-cutting flags for the whole run, with the
// operations that change them: measurement and the refresh cycle. It keeps the settings file (SettingsFile) and
// the status files (StatusPublication) through parts of its own. A caller that only reads holds it const.
class Monitor {
public:
    Monitor(Platform& platform, std::string configurationPath);

    Platform& GetPlatform() { return m_platform; }
    const Platform& GetPlatform() const { return m_platform; }
    const std::string& ConfigurationPath() const { return m_file.Path(); }

    MonitorSettings& Settings() { return m_settings; }
    const MonitorSettings& Settings() const { return m_settings; }
    CapacityReading& Reading() { return m_reading; }
    const CapacityReading& Reading() const { return m_reading; }
    std::array<DriveSlot, kDriveSlots>& Slots() { return m_publication.Slots(); }
    const std::array<DriveSlot, kDriveSlots>& Slots() const { return m_publication.Slots(); }
    const std::string& LastStatusFolder() const { return m_publication.LastStatusFolder(); }
    // The [History], [Display] and [Limits] options read with the settings.
    const ForecastSettings& Forecast() const { return m_file.Forecast(); }
    // The outlook of the drive (a one-letter text, either case) as the minute tick last measured it; nullptr
    // before that, and for anything but a letter.
    const DriveOutlook* OutlookOf(std::string_view letter) const;
    void SetOutlook(char letter, const DriveOutlook& outlook) { m_outlooks[letter] = outlook; }
    const std::map<char, DriveOutlook>& Outlooks() const { return m_outlooks; }

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

    // Reads the settings file (SettingsFile::Load; startListening is called after Nokori has been read). Sets
    // the last status-file folders and the minute counter. Returns Directory.
    std::string LoadSettings(const ListenerStart& startListening = {});
    // Reads the settings file again as at start, without a listener (the port stays until a restart), measures
    // the main drive and fills the texts; an open settings dialog then shows what was read. The status files
    // keep their last folders and names, so the next refresh moves them. A file that cannot be read changes
    // nothing: false, and one line says why.
    bool ReloadSettings();
    // Writes the settings in force to the file (SettingsFile::Save); then the minute counter is 0.
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
    std::int64_t MainPublishedAt() const { return m_publication.MainPublishedAt(); }

    // Keeps the first nine letters of Directory2 that name an existing drive and records their types.
    void FilterDriveLetters() { m_publication.FilterDriveLetters(m_settings); }
    // Measures each other drive and publishes its status file.
    void RefreshOtherDrives(int gbyte) { m_publication.RefreshOtherDrives(m_settings, gbyte); }

private:
    // MeasureMainDrive; an empty Directory takes the current drive's letter only when nameEmptyDirectory.
    void MeasureMainDrive(bool nameEmptyDirectory);
    // Tells the observer that what the agent shows may have changed.
    void NotifyChange();

    Platform& m_platform;
    SettingsFile m_file;
    StatusPublication m_publication;
    MonitorSettings m_settings;
    CapacityReading m_reading;
    int m_minuteCounter = 0;
    int m_warningPending = 0;
    DialogExchange* m_dialog = nullptr;
    std::function<void()> m_changed;
    std::array<std::uint64_t, kRefreshTriggers> m_refreshCounts{};
    std::int64_t m_startedAt = 0;
    std::map<char, DriveOutlook> m_outlooks; // by upper-case letter
};
