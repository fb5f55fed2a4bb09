#include "app/DesktopLoader.h"
#include "report/Report.h"

#include <array>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

// Where the installed module lies, relative to the program's folder, so a package installed under any
// prefix finds it.
#ifndef TARVELLIN_MODULE_DIR
#define TARVELLIN_MODULE_DIR "../lib/tarvellin"
#endif

namespace {

// The folder of the running program, from /proc/self/exe; empty when it cannot be read.
std::string ProgramFolder() {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return {};
    }
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

DesktopEntry LoadDesktopModule() {
    std::string failure = "the program's folder is unknown";
    const std::string programFolder = ProgramFolder();
    for (const std::string& folder : {programFolder, programFolder + "/" TARVELLIN_MODULE_DIR}) {
        if (programFolder.empty()) {
            break;
        }
        const std::string path = folder + '/' + kDesktopModuleFile;
        // Stays loaded until the process ends: Qt keeps pointers into it (meta objects, plugins' callbacks).
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* error = ::dlerror();
            failure = error != nullptr ? error : path;
            continue;
        }
        if (void* entry = ::dlsym(module, kDesktopEntryName); entry != nullptr) {
            return reinterpret_cast<DesktopEntry>(entry);
        }
        failure = path + ": no entry " + kDesktopEntryName;
        ::dlclose(module);
    }
    Report("desktop module not loaded (" + failure + "); running without windows");
    return nullptr;
}
