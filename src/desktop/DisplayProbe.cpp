#include "desktop/DisplayProbe.h"

#include "platform/Session.h"

#include <QGuiApplication>

namespace {

constexpr int kProbeTimeoutSeconds = 10;

// Connects to the display as the program would. A plugin that cannot connect ends the probe with an abort,
// which reads as "no display".
bool ConnectsToWindowSystem(int argc, char** argv) {
    const QGuiApplication probe(argc, argv);
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("xcb") || name.startsWith(QLatin1String("wayland"));
}

} // namespace

bool DisplayConnects(int argc, char** argv) {
    return ProbeApart(&ConnectsToWindowSystem, argc, argv, kProbeTimeoutSeconds);
}
