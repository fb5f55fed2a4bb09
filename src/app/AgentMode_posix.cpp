#include "app/AgentMode.h"

#include <cstdlib>
#include <string_view>

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// True when QT_QPA_PLATFORM is unset or names a plugin of a real window system.
bool PlatformMayShowWindows() {
    const char* value = std::getenv("QT_QPA_PLATFORM");
    if (value == nullptr || *value == '\0') {
        return true;
    }
    std::string_view name(value);
    name = name.substr(0, name.find_first_of(";:"));
    return name == "xcb" || name.starts_with("wayland");
}

} // namespace

bool DisplayMayExist() {
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        return false;
    }
    return PlatformMayShowWindows();
}
