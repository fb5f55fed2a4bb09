// tarvellin_icon_export <folder> <size>...: writes <folder>/<size>x<size>/apps/tarvellin.png for each size.
// tarvellin_icon_export --ico <folder>: writes the Windows program's icons into <folder>: tarvellin.ico (the
// application icon) and level0.ico to level7.ico (the tray pictures), each at 16, 20, 24 and 32 pixels.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "desktop/DrawnIcons.h"

namespace {

// The sizes the notification area asks for at 100, 125, 150 and 200 % scaling; larger ones are scaled down from 32.
constexpr int kIcoSizes[] = {16, 20, 24, 32};

void Append16(QByteArray& out, std::uint16_t value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void Append32(QByteArray& out, std::uint32_t value) {
    Append16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    Append16(out, static_cast<std::uint16_t>(value >> 16));
}

// One icon image as Windows keeps it: a 32-bit bottom-up DIB of twice the height (colour, then the AND mask).
QByteArray DibImage(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int side = image.width();
    const int maskStride = ((side + 31) / 32) * 4;
    QByteArray out;
    Append32(out, 40);
    Append32(out, static_cast<std::uint32_t>(side));
    Append32(out, static_cast<std::uint32_t>(side * 2));
    Append16(out, 1);
    Append16(out, 32);
    Append32(out, 0);
    Append32(out, static_cast<std::uint32_t>(side * side * 4 + maskStride * side));
    for (int i = 0; i < 4; ++i) {
        Append32(out, 0);
    }
    for (int y = side - 1; y >= 0; --y) {
        for (int x = 0; x < side; ++x) {
            const QRgb pixel = image.pixel(x, y);
            out.append(static_cast<char>(qBlue(pixel)));
            out.append(static_cast<char>(qGreen(pixel)));
            out.append(static_cast<char>(qRed(pixel)));
            out.append(static_cast<char>(qAlpha(pixel)));
        }
    }
    // The mask marks fully transparent pixels, for the rare reader that ignores the alpha channel.
    for (int y = side - 1; y >= 0; --y) {
        std::vector<unsigned char> row(static_cast<std::size_t>(maskStride), 0);
        for (int x = 0; x < side; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) {
                row[static_cast<std::size_t>(x / 8)] |= static_cast<unsigned char>(0x80 >> (x % 8));
            }
        }
        out.append(reinterpret_cast<const char*>(row.data()), maskStride);
    }
    return out;
}

bool WriteIco(const QIcon& icon, const QString& file) {
    std::vector<QByteArray> images;
    for (const int size : kIcoSizes) {
        images.push_back(DibImage(icon.pixmap(size, size).toImage().scaled(size, size)));
    }
    QByteArray out;
    Append16(out, 0);
    Append16(out, 1); // icon
    Append16(out, static_cast<std::uint16_t>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.append(static_cast<char>(kIcoSizes[i]));
        out.append(static_cast<char>(kIcoSizes[i]));
        out.append('\0'); // no palette
        out.append('\0');
        Append16(out, 1);
        Append16(out, 32);
        Append32(out, static_cast<std::uint32_t>(images[i].size()));
        Append32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const QByteArray& image : images) {
        out.append(image);
    }
    QFile ico(file);
    return ico.open(QIODevice::WriteOnly | QIODevice::Truncate) && ico.write(out) == out.size();
}

int WriteWindowsIcons(const QString& folder) {
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(folder));
        return 1;
    }
    bool written = WriteIco(ApplicationIcon(), folder + QStringLiteral("/tarvellin.ico"));
    for (int level = 0; level < kLevelCount && written; ++level) {
        written = WriteIco(LevelIcon(level), QStringLiteral("%1/level%2.ico").arg(folder).arg(level));
    }
    if (!written) {
        std::fprintf(stderr, "cannot write the icons into %s\n", qPrintable(folder));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc == 3 && QString::fromLatin1(argv[1]) == QStringLiteral("--ico")) {
        return WriteWindowsIcons(QString::fromLocal8Bit(argv[2]));
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <folder> <size>... | --ico <folder>\n", argv[0]);
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
