#include "core/capacity/Monitor.h"

#include "core/diagnostics/Report.h"
#include "core/settings/IniProfile.h"
#include "core/settings/SettingsStore.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace {

// Reports a failure when its reason differs from the one reported last, and one line when it is gone.
void ReportChange(std::string& reported, const std::string& reason, const std::string& failed,
                  const std::string& workingAgain) {
    if (reason == reported) {
        return;
    }
    Report(reason.empty() ? workingAgain : failed + ": " + reason);
    reported = reason;
}

} // namespace

Monitor::Monitor(Platform& platform, std::string configurationPath)
    : m_platform(platform), m_configurationPath(std::move(configurationPath)) {}

IniProfile Monitor::SettingsProfile(const std::optional<std::string>& text) {
    return IniProfile(
        text ? std::string_view(*text) : std::string_view(),
        [this](std::string_view line) { return m_platform.TextLineToUtf8(line); },
        m_platform.SettingsFileConventions());
}

std::string Monitor::LoadSettings(const ListenerStart& startListening) {
    m_startedAt = m_platform.UnixTime();
    const std::optional<std::string> text = m_platform.ReadTextFile(m_configurationPath);
    // Settings kept from us (a folder that does not answer, a file that is there and cannot be read) are
    // not replaced by the defaults in this run.
    m_loadMissed = !text && m_platform.FileExists(m_configurationPath);
    if (m_loadMissed) {
        Report("settings not read from " + m_configurationPath + ": " + ReadFailureReason() +
               "; the defaults are used and the file is not written over");
    }
    ApplySettings(SettingsProfile(text), startListening);
    return m_settings.Directory;
}

void Monitor::ApplySettings(const IniProfile& ini, const ListenerStart& startListening) {
    m_settings = ReadMonitorSettings(ini, [&startListening](const MonitorSettings& soFar) {
        if (startListening) {
            startListening(soFar.Port, soFar.HttpAddress);
        }
    });
    m_minuteCounter = m_settings.Time;

    m_settings.Path = StripQuotes(m_settings.Path);
    m_lastStatusFolder = m_settings.Path;
    for (std::size_t k = 0; k < m_slots.size(); ++k) {
        m_settings.Path2To10[k] = StripQuotes(m_settings.Path2To10[k]);
        m_slots[k].lastFolder = m_settings.Path2To10[k];
    }

    m_writeDriveTable = false;
    if (m_platform.UsesDriveTable()) {
        if (ini.HasSection(kDrivesSection)) {
            m_platform.SetDriveTable(ReadDriveTable(ini));
        } else {
            m_writeDriveTable = true;
            KeepSavableDrives();
        }
    }
}

void Monitor::KeepSavableDrives() {
    std::vector<DriveMapping> table = m_platform.DriveTable();
    const auto unsavable = std::remove_if(table.begin(), table.end(), [](const DriveMapping& mapping) {
        if (FolderSurvivesSave(mapping.folder)) {
            return false;
        }
        // A letter that would not come back after a restart would strand its status files.
        Report(std::string("no drive letter for ") + mapping.folder +
               ": its folder name cannot be kept in the settings file (a double quote or a line feed)");
        return true;
    });
    if (unsavable != table.end()) {
        table.erase(unsavable, table.end());
        m_platform.SetDriveTable(std::move(table));
    }
}

bool Monitor::ReloadSettings() {
    const std::optional<std::string> text = m_platform.ReadTextFile(m_configurationPath);
    if (!text) {
        Report("settings not reloaded from " + m_configurationPath + ": " + ReadFailureReason() +
               "; keeping the current settings");
        return false;
    }
    // The status files stay where this run published them, so the next refresh moves them from there to the
    // folders read now, as after a change in the settings dialog.
    const std::string lastFolder = m_lastStatusFolder;
    const std::string lastName = m_settings.Filename;
    const std::array<DriveSlot, kDriveSlots> slots = m_slots;
    const std::array<std::string, kDriveSlots> slotNames = m_settings.Filename2To10;
    m_loadMissed = false;
    ApplySettings(SettingsProfile(text), {});
    m_lastStatusFolder = lastFolder;
    m_settings.Filename = lastName;
    for (std::size_t k = 0; k < m_slots.size(); ++k) {
        m_slots[k].lastFolder = slots[k].lastFolder;
        m_settings.Filename2To10[k] = slotNames[k];
    }

    MeasureMainDrive();
    FormatTexts();
    if (WindowOpen()) {
        m_dialog->PushToControls();
    }
    if (m_changed) {
        m_changed();
    }
    return true;
}

void Monitor::SaveSettings() {
    const std::optional<std::string> text = m_platform.ReadTextFile(m_configurationPath);
    bool attempted = false;
    bool saved = false;
    // A file that exists but cannot be read is not replaced: its other sections would be lost. A missing
    // one (never there, or deleted meanwhile) is created with what is held in memory.
    if ((text || !m_platform.FileExists(m_configurationPath)) && !m_loadMissed) {
        attempted = true;
        IniProfile ini = SettingsProfile(text);
        WriteMonitorSettings(ini, m_settings);
        bool tableWritten = false;
        if (m_writeDriveTable && !ini.HasSection(kDrivesSection)) {
            WriteDriveTable(ini, m_platform.DriveTable());
            tableWritten = true;
        }
        const std::string content = ini.Text();
        // A file that already holds exactly these bytes stays as it is: no write, no flush to the disk.
        saved = (text && *text == content) || m_platform.ReplaceFileAtomically(m_configurationPath, content);
        if (saved) {
            // Written once per run, or found written by someone else: from now on only read.
            if (tableWritten || ini.HasSection(kDrivesSection)) {
                m_writeDriveTable = false;
            }
        }
    }
    const char* failure = attempted      ? "the file could not be written"
                          : m_loadMissed ? "the settings could not be read at start-up"
                                         : "the file cannot be read";
    const std::string reason = saved ? std::string() : FailureReason(m_configurationPath, failure);
    ReportChange(m_saveFailure, reason, "settings not saved to " + m_configurationPath,
                 "settings saved again to " + m_configurationPath);
    m_minuteCounter = 0;
}

void Monitor::CountMinute() {
    if (m_minuteCounter < INT_MAX) {
        ++m_minuteCounter;
    }
}

void Monitor::AttachDialog(DialogExchange* dialog) {
    m_dialog = dialog;
    if (m_changed) {
        m_changed();
    }
}

std::string Monitor::ReadFailureReason() {
    if (m_platform.FolderStuck(m_configurationPath)) {
        return FailureReason(m_configurationPath, "");
    }
    const std::string reason = m_platform.ReadFailure(m_configurationPath);
    return reason.empty() ? std::string("it cannot be read") : reason;
}

std::string Monitor::FailureReason(const std::string& path, const char* otherwise) {
    if (m_platform.FolderStuck(path)) {
        return "the folder did not answer within " + std::to_string(kAnswerBoundSeconds) + " s";
    }
    return otherwise;
}

bool Monitor::Publish(std::string& lastFolder, std::string& lastName, const std::string& folder,
                      const std::string& name) {
    std::string& reason = m_cycleFailures[folder]; // the first failure in a folder is its outcome
    // A folder still busy with an earlier operation is not asked. The remembered name stays that of the
    // operation still under way, so the file it may yet leave is the one the next publication moves.
    const bool published =
        !m_platform.FolderStuck(folder + name) && UpdateStatusFile(m_platform, lastFolder, lastName, folder, name);
    if (!published && reason.empty()) {
        reason = FailureReason(folder + name, "the file could be neither renamed nor created");
    }
    return published;
}

void Monitor::ReportPublications() {
    for (const auto& [folder, reason] : m_cycleFailures) {
        const std::string where = folder.empty() ? std::string("the current directory") : folder;
        ReportChange(m_publicationFailures[folder], reason, "status file not published in " + where,
                     "status file published again in " + where);
    }
    m_cycleFailures.clear();
}

void Monitor::MeasureMainDrive() {
    MeasureMainDrive(true);
}

void Monitor::OpeningMeasurement() {
    MeasureMainDrive(false);
}

void Monitor::MeasureMainDrive(bool nameEmptyDirectory) {
    CapacityFigures figures;
    bool fallBack = m_settings.Directory.empty();
    if (!fallBack) {
        figures = ReadCapacity(m_platform, m_settings.Directory + ":\\");
        fallBack = !figures.ok;
    }
    if (fallBack) {
        // The figure is that of the letter stored, so the page never names one drive and shows another's
        // figure (the current directory can sit on a volume that has no letter of its own). Without a
        // letter the current directory's volume is measured. A failing query leaves zero figures.
        const std::string letter = m_platform.CurrentDriveLetter();
        figures = letter.empty() ? ReadCapacity(m_platform, std::nullopt) : ReadCapacity(m_platform, letter + ":\\");
        if (!m_settings.Directory.empty() || nameEmptyDirectory) {
            m_settings.Directory = letter;
        }
    }
    m_reading.freeMB = figures.freeMB;
    m_reading.totalMB = figures.totalMB;
    m_reading.usedMB = figures.usedMB;
}

void Monitor::FormatTexts() {
    CapacityTexts texts = FormatCapacityTexts(m_reading.freeMB, m_reading.totalMB, m_reading.usedMB, m_settings.GByte);
    m_reading.usedText = std::move(texts.usedText);
    m_reading.totalText = std::move(texts.totalText);
    m_reading.freeText = std::move(texts.freeText);
}

void Monitor::RefreshCycle(RefreshTrigger trigger) {
    ++m_refreshCounts[static_cast<std::size_t>(trigger)];
    if (WindowOpen()) {
        // A failed validation has shown its message; the cycle goes on with what was taken.
        static_cast<void>(m_dialog->PullFromControls());
    }
    MeasureMainDrive();
    FormatTexts();
    if (WindowOpen()) {
        m_dialog->PushToControls();
    }
    if (Publish(m_lastStatusFolder, m_settings.Filename, m_settings.Path, m_reading.freeText)) {
        m_mainPublishedAt = m_platform.UnixTime();
    }
    if (m_settings.OtherDrive == 1) {
        RefreshOtherDrives(m_settings.GByte);
    }
    ReportPublications();
    SaveSettings();
    if (m_settings.Keikoku == 1 && m_reading.freeMB < m_settings.Nokori) {
        RaiseWarning();
    }
    if (WindowOpen()) {
        m_dialog->PushToControls();
    }
    if (m_changed) {
        m_changed();
    }
}

void Monitor::FilterDriveLetters() {
    std::string kept;
    const std::string& letters = m_settings.Directory2;
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
    m_settings.Directory2 = std::move(kept);
}

void Monitor::RefreshOtherDrives(int gbyte) {
    FilterDriveLetters();
    const std::string letters = m_settings.Directory2;
    for (std::size_t k = 0; k < letters.size() && k < m_slots.size(); ++k) {
        DriveSlot& slot = m_slots[k];
        const std::string root = std::string(1, letters[k]) + ":\\";
        slot.reading = ReadCapacity(m_platform, root);
        std::string text = FreeText(slot.reading.freeMB, gbyte);
        if (!slot.reading.ok) {
            text = std::string(DriveTypeText(slot.type));
        }
        std::string& folder = m_settings.Path2To10[k];
        if (folder.empty()) {
            folder = m_platform.FolderOfRoot(root);
        }
        if (text.empty()) {
            continue; // a type the filter should have dropped: no name to publish
        }
        if (Publish(slot.lastFolder, m_settings.Filename2To10[k], folder, text)) {
            slot.publishedAt = m_platform.UnixTime();
        }
    }
    ReportPublications();
}
