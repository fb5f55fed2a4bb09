#include "headless/DesktopLoader.h"

#include "platform/Session.h"
#include "core/diagnostics/Report.h"

#include <string>

// Where the installed module lies, relative to the program's folder, so a package installed under any
// prefix finds it.
#ifndef TARVELLIN_MODULE_DIR
#define TARVELLIN_MODULE_DIR "../lib/tarvellin"
#endif

DesktopEntry LoadDesktopModule() {
    std::string failure;
    void* entry = LoadModuleSymbol(kDesktopModuleFile, TARVELLIN_MODULE_DIR, kDesktopEntryName, failure);
    if (entry == nullptr) {
        Report("desktop module not loaded (" + failure + "); running without windows");
        return nullptr;
    }
    return reinterpret_cast<DesktopEntry>(entry);
}
