#include "app/AgentMode.h"

#include <QLatin1String>
#include <QString>
#include <QStringView>

bool DisplayMayExist() {
    // Windows always has a desktop; only a plugin other than the window system's (offscreen, minimal) keeps
    // the tray away. Checked here because a named plugin that is not installed would end the process.
    const QString value = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (value.isEmpty()) {
        return true;
    }
    qsizetype end = 0;
    while (end < value.size() && value[end] != u':' && value[end] != u';') {
        ++end;
    }
    const QStringView name = QStringView(value).left(end);
    return name == QLatin1String("windows") || name == QLatin1String("direct2d");
}
