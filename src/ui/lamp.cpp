#include "ui/lamp.h"

#include "ui/accessibility.h"
#include "ui/colours.h"

#include <QPainter>

#include <algorithm>

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

void Lamp::setLabel(const QString& drawn, const QString& spoken) {
    if (label_ == drawn && spokenLabel_ == spoken)
        return;
    label_ = drawn;
    spokenLabel_ = spoken;
    update();
    accessibility::notifyNameChanged(this);
}

void Lamp::setMark(Mark mark) {
    if (mark_ == mark)
        return;
    mark_ = mark;
    update();
    accessibility::notifyDescriptionChanged(this);
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
    paintLabel(painter, light);
    // Half the light's size, over its upper right edge, where it hides the least of the colour.
    const qreal markSide = qRound(side * 0.5);
    marks::paint(painter,
                 QRectF(qMin(light.right() - markSide * 0.6, width() - markSide),
                        qMax(light.top() - markSide * 0.4, 0.0), markSide, markSide),
                 mark_);
}

// Black or white, whichever stands out more from the light's colour; the colour itself is
// never changed, since it is what the lamp means.
void Lamp::paintLabel(QPainter& painter, const QRectF& light) {
    if (label_.isEmpty())
        return;
    const QColor fill = colour_ ? colour::toQColor(*colour_) : palette().color(QPalette::Window);
    const QColor text = colour::contrast(Qt::black, fill) >= colour::contrast(Qt::white, fill)
                            ? QColor(Qt::black)
                            : QColor(Qt::white);
    const QStringList lines = label_.split(u'\n');
    QFont font = painter.font();
    font.setBold(true);
    // As large as fits: the lines together no higher than the light, none wider than the lamp.
    int pixels = int(light.height() * 0.8 / lines.size());
    for (; pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetricsF metrics(font);
        const bool fits = std::all_of(lines.begin(), lines.end(), [&](const QString& line) {
            return metrics.horizontalAdvance(line) <= width() - 2;
        });
        if (fits)
            break;
    }
    font.setPixelSize(pixels);
    painter.setFont(font);
    painter.setPen(text);
    painter.drawText(QRectF(0, light.top(), width(), light.height()), Qt::AlignCenter, label_);
}
