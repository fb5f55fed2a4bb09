#include "core/settings/SettingsFile.h"

#include "core/diagnostics/Report.h"
#include "core/settings/SettingsStore.h"

#include <algorithm>
#include <utility>

SettingsFile::SettingsFile(Platform& platform, std::string path) : m_platform(platform), m_path(std::move(path)) {}

IniProfile SettingsFile::Profile(const std::optional<std::string>& text) const {
    return IniProfile(
        text ? std::string_view(*text) : std::string_view(),
        [this](std::string_view line) { return m_platform.TextLineToUtf8(line); },
        m_platform.SettingsFileConventions());
}

MonitorSettings SettingsFile::Load(const ListenerStart& startListening) {
    const std::optional<std::string> text = m_platform.ReadTextFile(m_path);
    // Settings kept from us (a folder that does not answer, a file that is there and cannot be read) are
    // not replaced by the defaults in this run.
    m_loadMissed = !text && m_platform.FileExists(m_path);
    if (m_loadMissed) {
        Report("settings not read from " + m_path + ": " + ReadFailureReason() +
               "; the defaults are used and the file is not written over");
    }
    return Apply(Profile(text), startListening);
}

std::optional<MonitorSettings> SettingsFile::Reload() {
    const std::optional<std::string> text = m_platform.ReadTextFile(m_path);
    if (!text) {
        Report("settings not reloaded from " + m_path + ": " + ReadFailureReason() + "; keeping the current settings");
        return std::nullopt;
    }
    m_loadMissed = false;
    return Apply(Profile(text), {});
}

MonitorSettings SettingsFile::Apply(const IniProfile& ini, const ListenerStart& startListening) {
    MonitorSettings settings = ReadMonitorSettings(ini, [&startListening](const MonitorSettings& soFar) {
        if (startListening) {
            startListening(soFar.Port, soFar.HttpAddress);
        }
    });
    settings.Path = StripQuotes(settings.Path);
    for (std::string& folder : settings.Path2To10) {
        folder = StripQuotes(folder);
    }
    ForecastSettingsRead forecast = ReadForecastSettings(ini);
    for (const std::string& problem : forecast.problems) {
        Report(problem);
    }
    m_forecast = std::move(forecast.settings);

    m_writeDriveTable = false;
    if (m_platform.UsesDriveTable()) {
        if (ini.HasSection(kDrivesSection)) {
            m_platform.SetDriveTable(ReadDriveTable(ini));
        } else {
            m_writeDriveTable = true;
            KeepSavableDrives();
        }
    }
    return settings;
}

void SettingsFile::KeepSavableDrives() {
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

void SettingsFile::Save(const MonitorSettings& settings) {
    const std::optional<std::string> text = m_platform.ReadTextFile(m_path);
    bool attempted = false;
    bool saved = false;
    // A file that exists but cannot be read is not replaced: its other sections would be lost. A missing
    // one (never there, or deleted meanwhile) is created with what is held in memory.
    if ((text || !m_platform.FileExists(m_path)) && !m_loadMissed) {
        attempted = true;
        IniProfile ini = Profile(text);
        WriteMonitorSettings(ini, settings);
        bool tableWritten = false;
        if (m_writeDriveTable && !ini.HasSection(kDrivesSection)) {
            WriteDriveTable(ini, m_platform.DriveTable());
            tableWritten = true;
        }
        const std::string content = ini.Text();
        // A file that already holds exactly these bytes stays as it is: no write, no flush to the disk.
        saved = (text && *text == content) || m_platform.ReplaceFileAtomically(m_path, content);
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
    const std::string reason = saved ? std::string() : FailureReason(m_platform, m_path, failure);
    ReportChange(m_saveFailure, reason, "settings not saved to " + m_path, "settings saved again to " + m_path);
}

std::string SettingsFile::ReadFailureReason() const {
    if (m_platform.FolderStuck(m_path)) {
        return FolderDidNotAnswer();
    }
    const std::string reason = m_platform.ReadFailure(m_path);
    return reason.empty() ? std::string("it cannot be read") : reason;
}
