#include "ui/lamp.h"

#include "ui/accessibility.h"
#include "ui/colours.h"

#include <QPainter>

Lamp::Lamp(const QString& name, std::optional<quint32> colour, QWidget* parent)
    : QWidget(parent), colour_(colour) {
    setObjectName(name);
}

void Lamp::setColour(std::optional<quint32> colour) {
    if (colour_ == colour)
        return;
    colour_ = colour;
    update();
    // A lamp reads out its colour in its name.
    accessibility::notifyNameChanged(this);
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 4;
    const QRectF light((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    painter.setPen(QPen(QColor(70, 70, 70), 1.5));
    if (colour_)
        painter.setBrush(colour::toQColor(*colour_));
    else
        painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(light);
}
