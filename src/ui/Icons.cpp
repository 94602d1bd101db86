#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace orvane::ui {

namespace {

// A head and shoulders in the given colour, offset by dx.
void drawPerson(QPainter& p, const QColor& colour, qreal dx, qreal scale = 1.0) {
    p.setPen(QPen(colour.darker(160), 0.8));
    p.setBrush(colour);
    p.drawEllipse(QRectF(dx + 4.5 * scale, 1.5, 6 * scale, 6 * scale));
    QPainterPath body;
    body.moveTo(dx + 1.5 * scale, 15);
    body.cubicTo(dx + 1.5 * scale, 9, dx + 13.5 * scale, 9, dx + 13.5 * scale, 15);
    body.closeSubpath();
    p.drawPath(body);
}

QPixmap canvas() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

} // namespace

QIcon ordinaryAccountIcon() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawPerson(p, QColor(0x3a, 0x7b, 0xd5), 0);
    return QIcon(pixmap);
}

QIcon specialAccountIcon() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawPerson(p, QColor(0xd5, 0x8a, 0x1f), 0);
    // A small key marks the built-in accounts.
    p.setPen(QPen(QColor(0x70, 0x40, 0x00), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(10.5, 9.5, 4, 4));
    return QIcon(pixmap);
}

QIcon groupIcon() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawPerson(p, QColor(0x5a, 0xa0, 0x5a), 4, 0.8);
    drawPerson(p, QColor(0x3a, 0x7b, 0xd5), -1, 0.8);
    return QIcon(pixmap);
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/orvane/%1x%1/apps/org.orvane.Orvane.png").arg(size),
                     QSize(size, size));
    return icon;
}

} // namespace orvane::ui
