#include "ProgramIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

QImage DrawProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 256-unit square.
    painter.scale(size / 256.0, size / 256.0);

    // The player's body.
    const QRectF body(52, 12, 152, 232);
    QLinearGradient metal(body.topLeft(), body.topRight());
    metal.setColorAt(0.0, QColor(0xd9, 0xdd, 0xe2));
    metal.setColorAt(0.5, QColor(0xfa, 0xfb, 0xfc));
    metal.setColorAt(1.0, QColor(0xbf, 0xc4, 0xcb));
    painter.setPen(QPen(QColor(0x6b, 0x72, 0x7c), 4));
    painter.setBrush(metal);
    painter.drawRoundedRect(body, 26, 26);

    // The screen, with a play sign.
    const QRectF screen(70, 32, 116, 92);
    QLinearGradient glass(screen.topLeft(), screen.bottomRight());
    glass.setColorAt(0.0, QColor(0x3b, 0x8e, 0xea));
    glass.setColorAt(1.0, QColor(0x13, 0x3e, 0x86));
    painter.setPen(QPen(QColor(0x1d, 0x2a, 0x3a), 3));
    painter.setBrush(glass);
    painter.drawRoundedRect(screen, 8, 8);
    QPainterPath play;
    play.moveTo(113, 56);
    play.lineTo(149, 78);
    play.lineTo(113, 100);
    play.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(play);

    // The wheel and its centre button.
    QRadialGradient wheel(QPointF(128, 184), 46);
    wheel.setColorAt(0.0, QColor(0xf4, 0xf5, 0xf7));
    wheel.setColorAt(1.0, QColor(0xc9, 0xcd, 0xd3));
    painter.setPen(QPen(QColor(0x8a, 0x91, 0x9b), 3));
    painter.setBrush(wheel);
    painter.drawEllipse(QPointF(128, 184), 44, 44);
    painter.setBrush(QColor(0xe3, 0xe6, 0xea));
    painter.drawEllipse(QPointF(128, 184), 16, 16);

    // The conversion badge: an orange disc with a bent arrow.
    painter.setPen(QPen(Qt::white, 5));
    painter.setBrush(QColor(0xf2, 0x8c, 0x1c));
    painter.drawEllipse(QPointF(196, 204), 44, 44);
    QPainterPath arrow;
    arrow.moveTo(174, 220);
    arrow.cubicTo(174, 196, 186, 186, 206, 186);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(arrow);
    QPainterPath head;
    head.moveTo(202, 168);
    head.lineTo(224, 186);
    head.lineTo(202, 204);
    head.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(head);
    return image;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(DrawProgramIcon(size)));
    return icon;
}
