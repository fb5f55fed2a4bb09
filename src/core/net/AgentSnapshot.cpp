#include "core/net/AgentSnapshot.h"

#include "core/capacity/CapacityReading.h"

#include <cctype>
#include <utility>

namespace {

bool Exists(DriveType type) {
    return type != DriveType::Unknown && type != DriveType::NoRootDir;
}

std::string RootOf(const std::string& letter) {
    return letter + ":\\";
}

DriveSnapshot SnapshotOf(const Platform& platform, const std::string& letter, const DriveAnswer& answer) {
    DriveSnapshot drive;
    drive.letter = letter;
    drive.type = answer.type;
    drive.path = platform.FolderOfRoot(RootOf(letter));
    if (answer.space) {
        drive.up = true;
        drive.space = *answer.space;
        const CapacityFigures figures = FiguresOf(*answer.space);
        drive.freePercent = FreePercent(figures.freeMB, figures.totalMB);
        drive.level = LevelOf(figures.totalMB, figures.freeMB);
    }
    drive.answeredInTime = answer.answeredInTime;
    return drive;
}

} // namespace

std::string_view AgentVersion() {
    return TARVELLIN_VERSION;
}

AgentSnapshot TakeSnapshot(const Monitor& monitor) {
    const Platform& platform = monitor.GetPlatform();
    const MonitorSettings& settings = monitor.Settings();
    AgentSnapshot snapshot;
    snapshot.version = std::string(AgentVersion());
    snapshot.startedAt = monitor.StartedAt();
    snapshot.refreshes = monitor.RefreshCounts();

    // The main drive, then the other drives the next refresh will watch: of the first nine letters those
    // that name an existing drive, each in the slot the letter filter will give it.
    const std::string mainLetter = settings.Directory.empty() ? platform.CurrentDriveLetter() : settings.Directory;
    std::vector<std::string> letters;
    if (!mainLetter.empty()) {
        letters.push_back(mainLetter);
    }
    const std::size_t firstOther = letters.size();
    if (settings.OtherDrive == 1) {
        for (std::size_t i = 0; i < settings.Directory2.size() && i < static_cast<std::size_t>(kDriveSlots); ++i) {
            letters.emplace_back(1, settings.Directory2[i]);
        }
    }
    std::vector<std::string> roots;
    for (const std::string& letter : letters) {
        roots.push_back(RootOf(letter));
    }
    const std::vector<DriveAnswer> answers = platform.QueryDrives(roots);

    if (!mainLetter.empty()) {
        DriveSnapshot drive = SnapshotOf(platform, mainLetter, answers[0]);
        drive.main = true;
        drive.statusFolder = settings.Path;
        drive.statusText = settings.Filename;
        drive.publishedAt = monitor.MainPublishedAt();
        snapshot.drives.push_back(std::move(drive));
    }
    std::size_t slot = 0;
    for (std::size_t i = firstOther; i < letters.size() && i < answers.size(); ++i) {
        DriveSnapshot drive = SnapshotOf(platform, letters[i], answers[i]);
        if (!Exists(drive.type)) {
            continue;
        }
        const DriveSlot& state = monitor.Slots()[slot];
        drive.statusFolder = settings.Path2To10[slot].empty() ? drive.path : settings.Path2To10[slot];
        drive.statusText = settings.Filename2To10[slot];
        drive.publishedAt = state.publishedAt;
        snapshot.drives.push_back(std::move(drive));
        ++slot;
    }
    const ForecastSettings& options = monitor.Forecast();
    snapshot.historyOn = options.HistoryDays > 0;
    for (DriveSnapshot& drive : snapshot.drives) {
        if (const DriveOutlook* outlook = monitor.OutlookOf(drive.letter)) {
            drive.outlook = *outlook;
        }
        const unsigned char letter = drive.letter.size() == 1 ? static_cast<unsigned char>(drive.letter[0]) : 0;
        drive.hasLimit = options.Limits.count(static_cast<char>(std::toupper(letter))) != 0;
    }
    return snapshot;
}
