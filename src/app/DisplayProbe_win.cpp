#include "app/DisplayProbe.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>

#include <vector>

bool DisplayConnects(int argc, char** argv) {
    // The probe takes Qt's own options (-platform) out of its copy of the arguments; the application object
    // made next must still see them.
    std::vector<char*> arguments(argv, argv + argc);
    arguments.push_back(nullptr);
    int count = argc;
    const QGuiApplication probe(count, arguments.data());
    return QSystemTrayIcon::isSystemTrayAvailable();
}
