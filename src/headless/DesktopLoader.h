#pragma once

#include "platform/DesktopModule.h"

// Loads the desktop module, first from the program's own folder, then from the installed module folder, and
// checks that it exports the entry. Returns the entry, or nullptr after reporting why.
DesktopEntry LoadDesktopModule();
