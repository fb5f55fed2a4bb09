#pragma once

#include <QIcon>

// Number of fill levels of the tray picture.
inline constexpr int kLevelCount = 8;

// The tray picture of a fill level (0 to 7; other values give level 0): a blue disk whose magenta share
// grows from none at level 0 to nearly the whole disk at level 7. Drawn at whatever size is asked for.
QIcon LevelIcon(int level);

// The application icon: a round picture, blue above and magenta below, black markings across the magenta part.
QIcon ApplicationIcon();
