#include "platform/DesktopModule.h"

#include <type_traits>

// The module's one exported symbol; everything else in the module stays hidden.
extern "C" __attribute__((visibility("default"))) int tarvellin_desktop_main(const DesktopHost* host, int* exitCode) {
    static_assert(std::is_same_v<decltype(&tarvellin_desktop_main), DesktopEntry>);
    return DesktopMain(host, exitCode);
}
