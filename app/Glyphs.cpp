#include "Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace {

constexpr int kGlyphSize = 16;
const QColor kDisabledColour(160, 160, 160);

// Draws a glyph twice, in its colour and in grey, into one icon.
QIcon makeGlyph(const QColor &colour, const std::function<void(QPainter &, QColor)> &draw) {
    QIcon icon;
    for (const bool enabled : {true, false}) {
        QPixmap pixmap(kGlyphSize, kGlyphSize);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter, enabled ? colour : kDisabledColour);
        painter.end();
        icon.addPixmap(pixmap, enabled ? QIcon::Normal : QIcon::Disabled);
    }
    return icon;
}

} // namespace

QIcon SearchGlyph() {
    return makeGlyph(QColor(30, 70, 160), [](QPainter &painter, QColor colour) {
        painter.setPen(QPen(colour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(2, 2, 8, 8));
        painter.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(10, 10), QPointF(14, 14));
    });
}

QIcon OkGlyph() {
    return makeGlyph(QColor(20, 140, 40), [](QPainter &painter, QColor colour) {
        painter.setPen(QPen(colour, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath path;
        path.moveTo(3, 8.5);
        path.lineTo(6.5, 12);
        path.lineTo(13, 4);
        painter.drawPath(path);
    });
}

QIcon SaveGlyph() {
    return makeGlyph(QColor(40, 60, 120), [](QPainter &painter, QColor colour) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawRect(QRectF(2, 2, 12, 12));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(4, 3, 8, 4));  // the label
        painter.drawRect(QRectF(5, 10, 6, 4)); // the shutter
    });
}
