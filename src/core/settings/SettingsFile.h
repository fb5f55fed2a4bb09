#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/settings/ForecastSettings.h"
#include "core/settings/IniProfile.h"
#include "core/settings/MonitorSettings.h"
#include "platform/Platform.h"

// Starts the command listener on the port and the local address ([Http] Address; empty for all IPv4 ones).
using ListenerStart = std::function<void(int port, const std::string& address)>;

// The settings file of one run: reads it into settings and writes settings back into it, keeping between the
// two what the run has learnt of the file (read at start or not, drive table written or not, save failing).
class SettingsFile {
public:
    SettingsFile(Platform& platform, std::string path);

    const std::string& Path() const { return m_path; }
    // The history, forecast and limit options of the last load or reload that read the file; only read, never
    // saved.
    const ForecastSettings& Forecast() const { return m_forecast; }

    // Reads the file in the fixed key order, the folders without their quotes; calls startListening with Port
    // and [Http] Address after Nokori has been read, and takes the drive table. When the file is there and
    // cannot be read (or its folder does not answer), the defaults are returned and no save of this run
    // replaces the file.
    MonitorSettings Load(const ListenerStart& startListening);
    // Reads the file again as Load, without a listener; nullopt when it cannot be read (one line says why).
    std::optional<MonitorSettings> Reload();
    // Writes all keys in the fixed order in one atomic replace of the file, keeping its other content. A file
    // that already holds those bytes is not written again. A failed write leaves the old file whole. A file
    // that exists but cannot be read is left alone until a later save; a missing one is created. A save that
    // fails, and the first one that works again, are reported once each.
    void Save(const MonitorSettings& settings);

private:
    // The file's text (none when missing) as a profile whose lines the platform decodes.
    IniProfile Profile(const std::optional<std::string>& text) const;
    // The settings the profile holds (see Load).
    MonitorSettings Apply(const IniProfile& ini, const ListenerStart& startListening);
    // Drops the drives of the automatic drive table whose folders the file cannot hold.
    void KeepSavableDrives();
    // Why the file cannot be read.
    std::string ReadFailureReason() const;

    Platform& m_platform;
    std::string m_path;
    bool m_writeDriveTable = false; // the file had no drive table: the next save writes it once
    bool m_loadMissed = false;      // its folder did not answer the load: the settings in memory are not the file's
    std::string m_saveFailure;      // of the last save, as reported; empty when it was saved
    ForecastSettings m_forecast;
};
