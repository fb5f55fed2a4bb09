#include "settings/SettingsStore.h"

#include <algorithm>
#include <optional>

namespace {

// The folder in double quotes; a folder is cut where a value line would end, so the closing quote stays.
std::string Quoted(const std::string& folder) {
    const std::size_t end = folder.find_first_of(std::string_view("\n\0", 2));
    return "\"" + folder.substr(0, end) + "\"";
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

namespace {

// The 33 keys of the section "Setting" in the order of the load and the save.
std::vector<std::string> SettingKeys() {
    std::vector<std::string> keys = {"Path",      "Filename",   "Auto",      "Time",       "GByte",
                                     "Directory", "NetWork",    "Port",      "Keikoku",    "Nokori",
                                     "Pass",      "NetKoushin", "EnbChange", "OtherDrive", "Directory2"};
    for (int k = 0; k < kDriveSlots; ++k) {
        keys.push_back(NumberedKey("Path", k));
    }
    for (int k = 0; k < kDriveSlots; ++k) {
        keys.push_back(NumberedKey("Filename", k));
    }
    return keys;
}

} // namespace

MonitorSettings ReadMonitorSettings(const IniProfile& ini,
                                    const std::function<void(const MonitorSettings&)>& afterNokori) {
    // All keys in one pass over the file, then taken in the order of the load.
    const std::vector<std::optional<std::string>> values = ini.GetProfileStrings(kSettingSection, SettingKeys());
    std::size_t next = 0;
    const auto text = [&values, &next]() { return values[next++].value_or(std::string()); };
    const auto number = [&values, &next](int defaultValue) {
        const std::optional<std::string>& value = values[next++];
        return value ? ParseProfileInt(*value) : defaultValue;
    };

    MonitorSettings settings;
    settings.Path = text();
    settings.Filename = text();
    settings.Auto = number(0);
    settings.Time = number(0);
    settings.GByte = number(0);
    settings.Directory = text();
    settings.NetWork = number(0);
    settings.Port = number(8085);
    settings.Keikoku = number(0);
    settings.Nokori = number(100);
    if (afterNokori) {
        afterNokori(settings);
    }
    settings.Pass = text();
    settings.NetKoushin = number(0);
    settings.EnbChange = number(0);
    settings.OtherDrive = number(0);
    settings.Directory2 = text();
    for (std::string& folder : settings.Path2To10) {
        folder = text();
    }
    for (std::string& name : settings.Filename2To10) {
        name = text();
    }
    settings.HttpHeaders = ini.GetProfileInt("Http", "Headers", 0);
    return settings;
}

void WriteMonitorSettings(IniProfile& ini, const MonitorSettings& settings) {
    const std::vector<std::string> keys = SettingKeys();
    std::vector<std::string> values = {Quoted(settings.Path),
                                       settings.Filename,
                                       std::to_string(settings.Auto),
                                       std::to_string(settings.Time),
                                       std::to_string(settings.GByte),
                                       settings.Directory,
                                       std::to_string(settings.NetWork),
                                       std::to_string(settings.Port),
                                       std::to_string(settings.Keikoku),
                                       std::to_string(settings.Nokori),
                                       settings.Pass,
                                       std::to_string(settings.NetKoushin),
                                       std::to_string(settings.EnbChange),
                                       std::to_string(settings.OtherDrive),
                                       settings.Directory2};
    for (const std::string& folder : settings.Path2To10) {
        values.push_back(Quoted(folder));
    }
    for (const std::string& name : settings.Filename2To10) {
        values.push_back(name);
    }
    std::vector<std::pair<std::string, std::string>> keysAndValues;
    keysAndValues.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        keysAndValues.emplace_back(keys[i], std::move(values[i]));
    }
    // One pass, with the effect of the 33 writes in this order.
    ini.WriteProfileStrings(kSettingSection, keysAndValues);
}

std::vector<DriveMapping> ReadDriveTable(const IniProfile& ini) {
    std::vector<std::string> letters;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        letters.emplace_back(1, letter);
    }
    // The first key of each letter, in either case.
    const std::vector<std::optional<std::string>> values = ini.GetProfileStrings(kDrivesSection, letters);
    std::vector<DriveMapping> table;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        if (!values[i]) {
            continue;
        }
        std::string folder = StripQuotes(*values[i]);
        if (!folder.empty()) {
            table.push_back(DriveMapping{letters[i].front(), std::move(folder)});
        }
    }
    return table;
}

void WriteDriveTable(IniProfile& ini, const std::vector<DriveMapping>& table) {
    std::vector<std::pair<std::string, std::string>> keysAndValues;
    for (const DriveMapping& mapping : table) {
        const std::string letter(1, UpperLetter(mapping.letter));
        const bool repeated = std::any_of(keysAndValues.begin(), keysAndValues.end(),
                                          [&letter](const auto& entry) { return entry.first == letter; });
        if (!repeated) {
            keysAndValues.emplace_back(letter, Quoted(mapping.folder));
        }
    }
    if (!keysAndValues.empty()) {
        ini.WriteProfileStrings(kDrivesSection, keysAndValues);
    }
}
