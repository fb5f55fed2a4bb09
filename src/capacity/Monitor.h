#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "capacity/CapacityReading.h"
#include "platform/Platform.h"
#include "settings/IniProfile.h"
#include "settings/MonitorSettings.h"

// The settings dialog while its window is open: the refresh cycle takes the values of its controls before
// measuring and shows the new values after.
class DialogExchange {
public:
    virtual ~DialogExchange() = default;
    // Controls to settings, with validation; false when a control failed (a message has been shown).
    virtual bool PullFromControls() = 0;
    // Settings to controls.
    virtual void PushToControls() = 0;
};

// Run-time state of one other drive (slot).
struct DriveSlot {
    std::string lastFolder;              // folder in which its status file was last published
    DriveType type = DriveType::Unknown; // written by the letter filter
    CapacityFigures reading;             // last measurement
};

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

    int& MinuteCounter() { return m_minuteCounter; }
    int& WarningPending() { return m_warningPending; }

    // The window-open flag: 1 while a DialogExchange is attached.
    bool WindowOpen() const { return m_dialog != nullptr; }
    void AttachDialog(DialogExchange* dialog) { m_dialog = dialog; }

    // Reads the settings file in the fixed key order; calls startListening with Port after Nokori has
    // been read. Sets the last status-file folders, the minute counter and the drive table. Returns Directory.
    std::string LoadSettings(const std::function<void(int port)>& startListening = {});
    // Writes all keys in the fixed order in one atomic replace of the file, keeping its other content;
    // then the minute counter is 0. A failed write leaves the old file whole and is silent. A file that
    // exists but cannot be read is left alone until a later save; a missing one is created.
    void SaveSettings();

    // Measures the main drive named by Directory, falling back to the current directory's drive (and
    // rewriting Directory to its letter). Fills the MB figures of the reading.
    void MeasureMainDrive();
    // The measurement of the settings dialog's opening: as MeasureMainDrive, but an empty Directory stays empty.
    void OpeningMeasurement();
    // Fills the three texts of the reading from its figures and GByte.
    void FormatTexts();
    // The refresh cycle that every kind of refresh runs.
    void RefreshCycle();

    // Keeps the first nine letters of Directory2 that name an existing drive and records their types.
    void FilterDriveLetters();
    // Measures each other drive and publishes its status file.
    void RefreshOtherDrives(int gbyte);

private:
    // The settings file's text (none when missing) as a profile whose lines the platform decodes.
    IniProfile SettingsProfile(const std::optional<std::string>& text);
    // MeasureMainDrive; an empty Directory takes the current drive's letter only when nameEmptyDirectory.
    void MeasureMainDrive(bool nameEmptyDirectory);

    Platform& m_platform;
    std::string m_configurationPath;
    MonitorSettings m_settings;
    CapacityReading m_reading;
    std::string m_lastStatusFolder;
    std::array<DriveSlot, kDriveSlots> m_slots;
    int m_minuteCounter = 0;
    int m_warningPending = 0;
    DialogExchange* m_dialog = nullptr;
    bool m_writeDriveTable = false; // the file had no drive table: the next save writes it once
};
