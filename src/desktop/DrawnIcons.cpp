#include "desktop/DrawnIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace {

// The classic 16-colour blue and magenta, with a dark rim so the disk stands out on light and dark panels.
const QColor kBlue(0, 0, 255);
const QColor kMagenta(255, 0, 255);
const QColor kRim(0, 0, 96);

enum class Picture { Level, Application };

// Paints one picture into any rectangle, so that it stays sharp at the tray's size and on high-DPI screens.
class DrawnIconEngine final : public QIconEngine {
public:
    DrawnIconEngine(Picture picture, int level) : m_picture(picture), m_level(level) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        const qreal side = std::min(rect.width(), rect.height());
        const QRectF square(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (m_picture == Picture::Level) {
            PaintLevel(painter, square);
        } else {
            PaintApplication(painter, square);
        }
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            paint(&painter, QRect(QPoint(0, 0), pixmap.size()), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QIconEngine* clone() const override { return new DrawnIconEngine(m_picture, m_level); }
    QString key() const override { return QStringLiteral("tarvellin-drawn"); }

private:
    static QRectF Disk(const QRectF& square, qreal rimWidth) {
        const qreal inset = rimWidth / 2 + square.width() / 32;
        return square.adjusted(inset, inset, -inset, -inset);
    }

    static qreal RimWidth(const QRectF& square) { return std::max<qreal>(1.0, square.width() / 16); }

    // Blue disk, magenta from the bottom up to the level's share of its height.
    void PaintLevel(QPainter* painter, const QRectF& square) const {
        const qreal rim = RimWidth(square);
        const QRectF disk = Disk(square, rim);
        QPainterPath circle;
        circle.addEllipse(disk);
        painter->fillPath(circle, kBlue);
        const int level = (m_level >= 0 && m_level < kLevelCount) ? m_level : 0;
        if (level > 0) {
            // Level 7 leaves a thin blue cap: nearly, never quite, the whole disk.
            const qreal share = 0.92 * level / (kLevelCount - 1);
            const qreal height = disk.height() * share;
            painter->save();
            painter->setClipPath(circle);
            painter->fillRect(QRectF(disk.left(), disk.bottom() - height, disk.width(), height), kMagenta);
            painter->restore();
        }
        painter->setPen(QPen(kRim, rim));
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(disk);
    }

    // Blue upper half, magenta lower half crossed by black slanted stripes.
    static void PaintApplication(QPainter* painter, const QRectF& square) {
        const qreal rim = RimWidth(square);
        const QRectF disk = Disk(square, rim);
        QPainterPath circle;
        circle.addEllipse(disk);
        painter->fillPath(circle, kBlue);
        painter->save();
        painter->setClipPath(circle);
        const QRectF lower(disk.left(), disk.center().y(), disk.width(), disk.height() / 2);
        painter->fillRect(lower, kMagenta);
        painter->setClipRect(lower, Qt::IntersectClip);
        painter->setPen(QPen(Qt::black, std::max<qreal>(1.0, disk.width() / 14), Qt::SolidLine, Qt::FlatCap));
        const qreal step = disk.width() / 5;
        for (qreal x = disk.left() - lower.height(); x < disk.right() + step; x += step) {
            painter->drawLine(QPointF(x, lower.bottom()), QPointF(x + lower.height(), lower.top()));
        }
        painter->restore();
        painter->setPen(QPen(Qt::black, rim));
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(disk);
    }

    Picture m_picture;
    int m_level;
};

} // namespace

QIcon LevelIcon(int level) {
    return QIcon(new DrawnIconEngine(Picture::Level, level));
}

QIcon ApplicationIcon() {
    return QIcon(new DrawnIconEngine(Picture::Application, 0));
}
