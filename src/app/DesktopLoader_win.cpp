#include "app/DesktopLoader.h"

// The Windows program links the desktop part in: there is nothing to load.
DesktopEntry LoadDesktopModule() {
    return &DesktopMain;
}
