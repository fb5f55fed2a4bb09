#include "core/capacity/StatusPublication.h"

#include "core/diagnostics/Report.h"

#include <utility>

void StatusPublication::StartFrom(const MonitorSettings& settings) {
    m_lastStatusFolder = settings.Path;
    for (std::size_t k = 0; k < m_slots.size(); ++k) {
        m_slots[k].lastFolder = settings.Path2To10[k];
    }
}

bool StatusPublication::Publish(std::string& lastFolder, std::string& lastName, const std::string& folder,
                                const std::string& name) {
    std::string& reason = m_cycleFailures[folder]; // the first failure in a folder is its outcome
    // A folder still busy with an earlier operation is not asked. The remembered name stays that of the
    // operation still under way, so the file it may yet leave is the one the next publication moves.
    const bool published =
        !m_platform.FolderStuck(folder + name) && UpdateStatusFile(m_platform, lastFolder, lastName, folder, name);
    if (!published && reason.empty()) {
        reason = FailureReason(m_platform, folder + name, "the file could be neither renamed nor created");
    }
    return published;
}

void StatusPublication::ReportPublications() {
    for (const auto& [folder, reason] : m_cycleFailures) {
        const std::string where = folder.empty() ? std::string("the current directory") : folder;
        ReportChange(m_publicationFailures[folder], reason, "status file not published in " + where,
                     "status file published again in " + where);
    }
    m_cycleFailures.clear();
}

void StatusPublication::PublishMainDrive(MonitorSettings& settings, const std::string& freeText) {
    if (Publish(m_lastStatusFolder, settings.Filename, settings.Path, freeText)) {
        m_mainPublishedAt = m_platform.UnixTime();
    }
}

void StatusPublication::FilterDriveLetters(MonitorSettings& settings) {
    std::string kept;
    const std::string& letters = settings.Directory2;
    const std::size_t examined = letters.size() < m_slots.size() ? letters.size() : m_slots.size();
    for (std::size_t i = 0; i < examined; ++i) {
        const std::string root = std::string(1, letters[i]) + ":\\";
        const DriveType type = m_platform.GetDriveType(root);
        if (type == DriveType::Unknown || type == DriveType::NoRootDir) {
            continue;
        }
        kept += letters[i];
        m_slots[kept.size() - 1].type = type;
    }
    settings.Directory2 = std::move(kept);
}

void StatusPublication::RefreshOtherDrives(MonitorSettings& settings, int gbyte) {
    FilterDriveLetters(settings);
    const std::string letters = settings.Directory2;
    for (std::size_t k = 0; k < letters.size() && k < m_slots.size(); ++k) {
        DriveSlot& slot = m_slots[k];
        const std::string root = std::string(1, letters[k]) + ":\\";
        slot.reading = ReadCapacity(m_platform, root);
        std::string text = FreeText(slot.reading.freeMB, gbyte);
        if (!slot.reading.ok) {
            text = std::string(DriveTypeText(slot.type));
        }
        std::string& folder = settings.Path2To10[k];
        if (folder.empty()) {
            folder = m_platform.FolderOfRoot(root);
        }
        if (text.empty()) {
            continue; // a type the filter should have dropped: no name to publish
        }
        if (Publish(slot.lastFolder, settings.Filename2To10[k], folder, text)) {
            slot.publishedAt = m_platform.UnixTime();
        }
    }
    ReportPublications();
}
