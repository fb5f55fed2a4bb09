#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "core/capacity/CapacityReading.h"
#include "core/settings/MonitorSettings.h"
#include "platform/Platform.h"

// Run-time state of one other drive (slot).
struct DriveSlot {
    std::string lastFolder;              // folder in which its status file was last published
    DriveType type = DriveType::Unknown; // written by the letter filter
    CapacityFigures reading;             // last measurement
    std::int64_t publishedAt = 0;        // when its status file was last published (Unix seconds); 0: not yet
};

// The status files of the run: one empty file per drive, named by its free text (or its type text), moved from
// the folder and name it was last published under to the new ones, or created. The names are settings
// (Filename, Filename2 ...), saved with them; the folders last published in are kept here. A folder that stops
// taking its file, and one that takes it again, are reported once each.
class StatusPublication {
public:
    explicit StatusPublication(Platform& platform) : m_platform(platform) {}

    // The folders the settings name become those the status files were last published in (after a load).
    void StartFrom(const MonitorSettings& settings);

    const std::string& LastStatusFolder() const { return m_lastStatusFolder; }
    std::array<DriveSlot, kDriveSlots>& Slots() { return m_slots; }
    const std::array<DriveSlot, kDriveSlots>& Slots() const { return m_slots; }
    // When the main drive's status file was last published (Unix seconds); 0 when not yet in this run.
    std::int64_t MainPublishedAt() const { return m_mainPublishedAt; }

    // Publishes the main drive's status file in Path under the free text; Filename is then that text.
    void PublishMainDrive(MonitorSettings& settings, const std::string& freeText);
    // Keeps the first nine letters of Directory2 that name an existing drive and records their types.
    void FilterDriveLetters(MonitorSettings& settings);
    // Measures each other drive and publishes its status file (an empty Path<k> takes the drive's folder).
    void RefreshOtherDrives(MonitorSettings& settings, int gbyte);
    // Reports each folder whose publications of this cycle fared otherwise than those reported last.
    void ReportPublications();

private:
    // UpdateStatusFile, noting how its folder fared in this cycle; a folder still stuck in an earlier
    // operation is left alone, the remembered folder and name included. True when published.
    bool Publish(std::string& lastFolder, std::string& lastName, const std::string& folder, const std::string& name);

    Platform& m_platform;
    std::string m_lastStatusFolder;
    std::array<DriveSlot, kDriveSlots> m_slots;
    // Failure reasons by status folder (empty: published): as last reported, and as met in this cycle.
    std::map<std::string, std::string> m_publicationFailures;
    std::map<std::string, std::string> m_cycleFailures;
    std::int64_t m_mainPublishedAt = 0;
};
