#include "settings/SettingsStore.h"

#include <algorithm>

namespace {

std::string Quoted(const std::string& folder) {
    return "\"" + folder + "\"";
}

std::string NumberedKey(std::string_view key, int slot) {
    return std::string(key) + std::to_string(slot + 2);
}

char UpperLetter(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string StripQuotes(std::string_view text) {
    // The value is a C string in the profile functions: it ends at its first NUL byte.
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    if (text.empty() || text.front() != '"') {
        return std::string(text);
    }
    const std::size_t close = text.find('"', 1);
    if (close == std::string_view::npos) {
        return std::string(text);
    }
    return std::string(text.substr(1, close - 1));
}

MonitorSettings ReadMonitorSettings(const IniProfile& ini,
                                    const std::function<void(const MonitorSettings&)>& afterNokori) {
    const std::string_view s = kSettingSection;
    MonitorSettings settings;
    settings.Path = ini.GetProfileString(s, "Path");
    settings.Filename = ini.GetProfileString(s, "Filename");
    settings.Auto = ini.GetProfileInt(s, "Auto", 0);
    settings.Time = ini.GetProfileInt(s, "Time", 0);
    settings.GByte = ini.GetProfileInt(s, "GByte", 0);
    settings.Directory = ini.GetProfileString(s, "Directory");
    settings.NetWork = ini.GetProfileInt(s, "NetWork", 0);
    settings.Port = ini.GetProfileInt(s, "Port", 8085);
    settings.Keikoku = ini.GetProfileInt(s, "Keikoku", 0);
    settings.Nokori = ini.GetProfileInt(s, "Nokori", 100);
    if (afterNokori) {
        afterNokori(settings);
    }
    settings.Pass = ini.GetProfileString(s, "Pass");
    settings.NetKoushin = ini.GetProfileInt(s, "NetKoushin", 0);
    settings.EnbChange = ini.GetProfileInt(s, "EnbChange", 0);
    settings.OtherDrive = ini.GetProfileInt(s, "OtherDrive", 0);
    settings.Directory2 = ini.GetProfileString(s, "Directory2");
    for (int k = 0; k < kDriveSlots; ++k) {
        settings.Path2To10[static_cast<std::size_t>(k)] = ini.GetProfileString(s, NumberedKey("Path", k));
    }
    for (int k = 0; k < kDriveSlots; ++k) {
        settings.Filename2To10[static_cast<std::size_t>(k)] = ini.GetProfileString(s, NumberedKey("Filename", k));
    }
    settings.HttpHeaders = ini.GetProfileInt("Http", "Headers", 0);
    return settings;
}

void WriteMonitorSettings(IniProfile& ini, const MonitorSettings& settings) {
    const std::string_view s = kSettingSection;
    ini.WriteProfileString(s, "Path", Quoted(settings.Path));
    ini.WriteProfileString(s, "Filename", settings.Filename);
    ini.WriteProfileInt(s, "Auto", settings.Auto);
    ini.WriteProfileInt(s, "Time", settings.Time);
    ini.WriteProfileInt(s, "GByte", settings.GByte);
    ini.WriteProfileString(s, "Directory", settings.Directory);
    ini.WriteProfileInt(s, "NetWork", settings.NetWork);
    ini.WriteProfileInt(s, "Port", settings.Port);
    ini.WriteProfileInt(s, "Keikoku", settings.Keikoku);
    ini.WriteProfileInt(s, "Nokori", settings.Nokori);
    ini.WriteProfileString(s, "Pass", settings.Pass);
    ini.WriteProfileInt(s, "NetKoushin", settings.NetKoushin);
    ini.WriteProfileInt(s, "EnbChange", settings.EnbChange);
    ini.WriteProfileInt(s, "OtherDrive", settings.OtherDrive);
    ini.WriteProfileString(s, "Directory2", settings.Directory2);
    for (int k = 0; k < kDriveSlots; ++k) {
        ini.WriteProfileString(s, NumberedKey("Path", k), Quoted(settings.Path2To10[static_cast<std::size_t>(k)]));
    }
    for (int k = 0; k < kDriveSlots; ++k) {
        ini.WriteProfileString(s, NumberedKey("Filename", k), settings.Filename2To10[static_cast<std::size_t>(k)]);
    }
}

std::vector<DriveMapping> ReadDriveTable(const IniProfile& ini) {
    std::vector<DriveMapping> table;
    for (const auto& [key, value] : ini.Entries(kDrivesSection)) {
        if (key.size() != 1) {
            continue;
        }
        const char letter = UpperLetter(key.front());
        if (letter < 'A' || letter > 'Z') {
            continue;
        }
        std::string folder = StripQuotes(value);
        if (folder.empty()) {
            continue;
        }
        const bool known = std::any_of(table.begin(), table.end(),
                                       [letter](const DriveMapping& mapping) { return mapping.letter == letter; });
        if (!known) {
            table.push_back(DriveMapping{letter, std::move(folder)});
        }
    }
    std::stable_sort(table.begin(), table.end(),
                     [](const DriveMapping& a, const DriveMapping& b) { return a.letter < b.letter; });
    return table;
}

void WriteDriveTable(IniProfile& ini, const std::vector<DriveMapping>& table) {
    for (const DriveMapping& mapping : table) {
        ini.WriteProfileString(kDrivesSection, std::string(1, UpperLetter(mapping.letter)), Quoted(mapping.folder));
    }
}
