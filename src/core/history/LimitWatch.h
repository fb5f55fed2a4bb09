#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "core/history/Trend.h"
#include "core/settings/ForecastSettings.h"
#include "platform/Platform.h"

// A drive's state against its [Limits] entry, from better to worse.
enum class LimitState : std::uint8_t {
    Ok,
    Low,           // free space below the limit
    FullWithinDay, // the forecast has it full within 24 hours
};

// A low drive counts as ok again only once its free space is this much above its limit (10 % of it: a 5 GB
// limit clears at 5.5 GB, a 10 % limit at 11 %); a full-within-24-h drive only once its forecast is gone or
// beyond 24 h by as much (26.4 h). A drive at the edge so does not flip at every refresh.
inline constexpr double kLimitClearFactor = 1.1;

// What the faces tell the user: one line of English about one drive.
struct LimitAnnouncement {
    char letter = 0;
    LimitState state = LimitState::Ok;
    std::string text; // "D: low on free space: 4.20 GByte free (limit 5.00 GByte)"
};

// The states of the drives with limits and when each was last told. A state change is told once; an unchanged
// state that is not ok is told again only after the repeat interval ([Limits] Repeat, 0 never).
class LimitWatch {
public:
    // Weighs one measurement of the drive at now (seconds); fullIn is its forecast, when it has one. Returns the
    // announcement that is due, if any.
    std::optional<LimitAnnouncement> Update(char letter, const DriveLimit& limit, const VolumeSpace& space,
                                            const std::optional<FullIn>& fullIn, std::int64_t now, int repeatHours);
    // The drive's state; Ok for a drive never weighed.
    LimitState StateOf(char letter) const;
    // Forgets the drives whose limits are gone (after a reload).
    void Forget(char letter) { m_drives.erase(letter); }

private:
    struct Drive {
        bool low = false;
        bool fullSoon = false;
        std::int64_t toldAt = 0;
    };
    std::map<char, Drive> m_drives;
};

// "10 %", "5.00 GByte", "5 % or 20.00 GByte".
std::string LimitText(const DriveLimit& limit);
