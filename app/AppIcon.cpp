#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QRadialGradient>

QImage AppIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 34, 58));
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
    const QPointF centre(s / 2, s / 2);
    QRadialGradient body(centre, s * 0.38);
    body.setColorAt(0.0, QColor(210, 210, 210));
    body.setColorAt(1.0, QColor(120, 120, 120));
    painter.setBrush(body);
    painter.setPen(QPen(QColor(235, 235, 235), s / 16));
    painter.drawEllipse(centre, s * 0.36, s * 0.36);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 30));
    painter.drawEllipse(centre + QPointF(-s * 0.14, 0), s * 0.08, s * 0.14);
    painter.drawEllipse(centre + QPointF(s * 0.14, 0), s * 0.08, s * 0.14);
    painter.setBrush(QColor(200, 200, 0));
    painter.drawEllipse(centre + QPointF(0, s * 0.2), s * 0.05, s * 0.05);
    painter.end();
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : kAppIconSizes)
        icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
    return icon;
}
