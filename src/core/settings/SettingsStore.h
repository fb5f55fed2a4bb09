#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "core/settings/IniProfile.h"
#include "core/settings/MonitorSettings.h"

// Section of the persisted options.
inline constexpr std::string_view kSettingSection = "Setting";
// Section of the drive table on platforms without drive letters.
inline constexpr std::string_view kDrivesSection = "Drives";

// Removes the double quotes around a folder value: a text that starts with '"' becomes what lies between
// that quote and the next one; without a closing quote, or without an opening one, the text is returned
// unchanged. The text ends at its first NUL byte.
std::string StripQuotes(std::string_view text);

// Reads the options in the fixed key order of the settings load; afterNokori is called with the options
// read so far right after "Nokori" (the point where the listener starts). Missing keys give the defaults.
// Folder values are returned as stored (quotes not yet stripped).
MonitorSettings ReadMonitorSettings(const IniProfile& ini,
                                    const std::function<void(const MonitorSettings&)>& afterNokori = {});
// Writes all 33 keys of the section "Setting" in the fixed order of the settings save, the folders in
// double quotes.
void WriteMonitorSettings(IniProfile& ini, const MonitorSettings& settings);

// The drive table of the section "Drives": letter keys A-Z (either case), folders with their quotes
// stripped, sorted by letter; other keys, empty folders and repeated letters are skipped.
std::vector<DriveMapping> ReadDriveTable(const IniProfile& ini);
// Writes the drive table into the section "Drives", one "letter=\"folder\"" key per entry.
void WriteDriveTable(IniProfile& ini, const std::vector<DriveMapping>& table);
// True when the folder, written into the drive table, reads back as it is (false for one with a double quote
// or a line feed).
bool FolderSurvivesSave(const std::string& folder);
