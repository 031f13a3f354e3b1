#include "ui/marks.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
void paintSign(QPainter& painter, const QRectF& box, const QString& sign, const QColor& colour,
               qreal top) {
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(qMax(6, int(box.height() * 0.72)));
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(box.adjusted(0, top, 0, 0), Qt::AlignCenter, sign);
}
} // namespace

namespace marks {

void paint(QPainter& painter, const QRectF& box, Mark mark) {
    if (mark == Mark::None)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(20, 20, 20), 1));
    if (mark == Mark::Unconfirmed) {
        painter.setBrush(QColor(176, 0, 176));
        painter.drawEllipse(box.adjusted(0.5, 0.5, -0.5, -0.5));
        paintSign(painter, box, QStringLiteral("?"), Qt::white, 0);
    } else {
        QPainterPath triangle;
        triangle.moveTo(box.center().x(), box.top() + 0.5);
        triangle.lineTo(box.right() - 0.5, box.bottom() - 0.5);
        triangle.lineTo(box.left() + 0.5, box.bottom() - 0.5);
        triangle.closeSubpath();
        painter.setBrush(QColor(255, 214, 0));
        painter.drawPath(triangle);
        // The triangle's wide part is low, and so is the sign.
        paintSign(painter, box, QStringLiteral("!"), QColor(20, 20, 20), box.height() * 0.18);
    }
    painter.restore();
}

QIcon icon(Mark mark, int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, QRectF(0, 0, side, side), mark);
    painter.end();
    return QIcon(pixmap);
}

} // namespace marks
