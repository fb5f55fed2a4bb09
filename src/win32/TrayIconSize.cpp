#include "TrayIconSize.h"

#include <algorithm>

int TrayIconSide(int dpi, int smallIconMetric) {
    constexpr int kBaseDpi = 96;
    constexpr int kBaseSide = 16;
    if (smallIconMetric > 0) {
        return std::max(kBaseSide, smallIconMetric);
    }
    const int effectiveDpi = dpi > 0 ? dpi : kBaseDpi;
    // Rounded to the nearest pixel, as the system rounds its metrics.
    return std::max(kBaseSide, (kBaseSide * effectiveDpi + kBaseDpi / 2) / kBaseDpi);
}
