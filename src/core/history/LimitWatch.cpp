#include "core/history/LimitWatch.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "core/capacity/CapacityReading.h"

namespace {

// True when free space is below the limit scaled by factor (1 to enter the low state, the clear factor to
// stay in it).
bool Below(const DriveLimit& limit, const VolumeSpace& space, double factor) {
    const auto free = static_cast<double>(space.freeBytes);
    return (limit.percent && free * 100 < *limit.percent * factor * static_cast<double>(space.totalBytes)) ||
           (limit.bytes && free < static_cast<double>(*limit.bytes) * factor);
}

// An amount in whole MB, as MByte below 1 GByte and as GByte with two decimals above.
std::string AmountText(std::uint64_t bytes) {
    const int mb = static_cast<int>(std::min<std::uint64_t>(bytes >> 20, INT_MAX));
    return mb < 1024 ? std::to_string(mb) + " MByte" : FormatGByte(mb) + " GByte";
}

std::string PercentText(double percent) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, percent).ptr;
    return std::string(text, end) + " %";
}

} // namespace

std::string LimitText(const DriveLimit& limit) {
    if (limit.percent && limit.bytes) {
        return PercentText(*limit.percent) + " or " + AmountText(*limit.bytes);
    }
    return limit.percent ? PercentText(*limit.percent) : AmountText(limit.bytes.value_or(0));
}

std::optional<LimitAnnouncement> LimitWatch::Update(char letter, const DriveLimit& limit, const VolumeSpace& space,
                                                    const std::optional<FullIn>& fullIn, std::int64_t now,
                                                    int repeatHours) {
    Drive& drive = m_drives[letter];
    const LimitState before = StateOf(letter);
    drive.low = Below(limit, space, drive.low ? kLimitClearFactor : 1.0);
    const double horizon = static_cast<double>(kSecondsPerDay) * (drive.fullSoon ? kLimitClearFactor : 1.0);
    drive.fullSoon = fullIn && static_cast<double>(fullIn->seconds) <= horizon;
    const LimitState after = StateOf(letter);
    const bool repeat = after != LimitState::Ok && repeatHours > 0 &&
                        now - drive.toldAt >= static_cast<std::int64_t>(repeatHours) * 3600;
    if (after == before && !repeat) {
        return std::nullopt;
    }
    drive.toldAt = now;
    const std::string figures = AmountText(space.freeBytes) + " free";
    const std::string drivePrefix = std::string(1, letter) + ": ";
    const std::string limitPart = " (limit " + LimitText(limit) + ")";
    switch (after) {
    case LimitState::Ok:
        return LimitAnnouncement{letter, after,
                                 drivePrefix + "free space above the limit again: " + figures + limitPart};
    case LimitState::Low:
        return LimitAnnouncement{letter, after,
                                 drivePrefix + "low on free space: " + figures + limitPart +
                                     (fullIn ? ", " + FullInText(*fullIn) : std::string())};
    case LimitState::FullWithinDay:
        break;
    }
    return LimitAnnouncement{letter, after,
                             drivePrefix + "full within 24 hours at the current rate: " + figures + ", " +
                                 FullInText(*fullIn)};
}

LimitState LimitWatch::StateOf(char letter) const {
    const auto it = m_drives.find(letter);
    if (it == m_drives.end()) {
        return LimitState::Ok;
    }
    return it->second.fullSoon ? LimitState::FullWithinDay : it->second.low ? LimitState::Low : LimitState::Ok;
}
