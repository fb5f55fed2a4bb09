#include "core/settings/SettingsStore.h"

#include <algorithm>
#include <array>
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

// How a key's value is held in the file.
enum class SettingKind {
    Number,       // decimal text
    Text,         // as it is
    QuotedFolder, // in double quotes
};

// One key of the section "Setting" and the member it belongs to. The member's initial value in
// MonitorSettings is the default of a missing key.
struct SettingKey {
    std::string name;
    SettingKind kind;
    int MonitorSettings::*number = nullptr;
    std::string MonitorSettings::*text = nullptr;
    std::array<std::string, kDriveSlots> MonitorSettings::*slots = nullptr;
    std::size_t slot = 0;

    std::string& Text(MonitorSettings& settings) const {
        return slots != nullptr ? (settings.*slots)[slot] : settings.*text;
    }
    const std::string& Text(const MonitorSettings& settings) const {
        return slots != nullptr ? (settings.*slots)[slot] : settings.*text;
    }
};

// The listener starts right after this key has been read.
constexpr std::string_view kListenerStartsAfter = "Nokori";

// The 33 keys in the order of the load and of the save.
const std::vector<SettingKey>& SettingKeys() {
    static const std::vector<SettingKey> keys = [] {
        using M = MonitorSettings;
        const auto number = [](const char* name, int M::*member) {
            return SettingKey{name, SettingKind::Number, member, nullptr, nullptr, 0};
        };
        const auto text = [](const char* name, std::string M::*member, SettingKind kind = SettingKind::Text) {
            return SettingKey{name, kind, nullptr, member, nullptr, 0};
        };
        std::vector<SettingKey> table = {
            text("Path", &M::Path, SettingKind::QuotedFolder),
            text("Filename", &M::Filename),
            number("Auto", &M::Auto),
            number("Time", &M::Time),
            number("GByte", &M::GByte),
            text("Directory", &M::Directory),
            number("NetWork", &M::NetWork),
            number("Port", &M::Port),
            number("Keikoku", &M::Keikoku),
            number("Nokori", &M::Nokori),
            text("Pass", &M::Pass),
            number("NetKoushin", &M::NetKoushin),
            number("EnbChange", &M::EnbChange),
            number("OtherDrive", &M::OtherDrive),
            text("Directory2", &M::Directory2),
        };
        for (std::size_t k = 0; k < kDriveSlots; ++k) {
            table.push_back({NumberedKey("Path", static_cast<int>(k)), SettingKind::QuotedFolder, nullptr, nullptr,
                             &M::Path2To10, k});
        }
        for (std::size_t k = 0; k < kDriveSlots; ++k) {
            table.push_back({NumberedKey("Filename", static_cast<int>(k)), SettingKind::Text, nullptr, nullptr,
                             &M::Filename2To10, k});
        }
        return table;
    }();
    return keys;
}

} // namespace

MonitorSettings ReadMonitorSettings(const IniProfile& ini,
                                    const std::function<void(const MonitorSettings&)>& afterNokori) {
    const std::vector<SettingKey>& keys = SettingKeys();
    std::vector<std::string> names;
    names.reserve(keys.size());
    for (const SettingKey& key : keys) {
        names.push_back(key.name);
    }
    // All keys in one pass over the file, then taken in the order of the load.
    const std::vector<std::optional<std::string>> values = ini.GetProfileStrings(kSettingSection, names);
    MonitorSettings settings;
    // The section "Http" first: the listener, which starts on the way, binds to its Address.
    settings.HttpHeaders = ini.GetProfileInt("Http", "Headers", 0);
    settings.HttpMetrics = ini.GetProfileInt("Http", "Metrics", 0);
    settings.HttpAddress = StripQuotes(ini.GetProfileString("Http", "Address", ""));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const SettingKey& key = keys[i];
        if (key.kind == SettingKind::Number) {
            if (values[i]) {
                settings.*key.number = ParseProfileInt(*values[i]);
            }
        } else {
            key.Text(settings) = values[i].value_or(std::string());
        }
        if (key.name == kListenerStartsAfter && afterNokori) {
            afterNokori(settings);
        }
    }
    return settings;
}

void WriteMonitorSettings(IniProfile& ini, const MonitorSettings& settings) {
    std::vector<std::pair<std::string, std::string>> keysAndValues;
    keysAndValues.reserve(SettingKeys().size());
    for (const SettingKey& key : SettingKeys()) {
        switch (key.kind) {
        case SettingKind::Number:
            keysAndValues.emplace_back(key.name, std::to_string(settings.*key.number));
            break;
        case SettingKind::Text:
            keysAndValues.emplace_back(key.name, key.Text(settings));
            break;
        case SettingKind::QuotedFolder:
            keysAndValues.emplace_back(key.name, Quoted(key.Text(settings)));
            break;
        }
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

bool FolderSurvivesSave(const std::string& folder) {
    IniProfile ini;
    WriteDriveTable(ini, {DriveMapping{'C', folder}});
    const std::vector<DriveMapping> table = ReadDriveTable(IniProfile(ini.Text()));
    return table.size() == 1 && table.front().folder == folder;
}
