// tarvellin_icon_export <folder> <size>...: writes <folder>/<size>x<size>/apps/tarvellin.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

#include "agent/DrawnIcons.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <folder> <size>...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QIcon icon = ApplicationIcon();
    for (int i = 2; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "not a size: %s\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        const QString file = dir + QStringLiteral("/tarvellin.png");
        if (!QDir().mkpath(dir) || !icon.pixmap(size, size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
