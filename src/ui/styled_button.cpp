#include "ui/styled_button.h"

#include "ui/colours.h"

#include <QPainter>

StyledButton::StyledButton(const QString& name, const QString& caption, QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(name);
    setText(caption);
}

void StyledButton::setLit(bool lit) {
    lit_ = lit;
    if (!lit)
        slots_.fill(0);
    update();
}

void StyledButton::setColourSlot(int slot, quint32 colour) {
    if (slot < 1 || slot > int(slots_.size()))
        return;
    slots_[size_t(slot - 1)] = colour;
    update();
}

quint32 StyledButton::colourSlot(int slot) const {
    if (slot < 1 || slot > int(slots_.size()))
        return 0;
    return slots_[size_t(slot - 1)];
}

void StyledButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill, border, text;
    if (lit_) {
        fill = colour::toQColor(isDown() ? slots_[2] : slots_[3]);
        border = colour::toQColor(slots_[1]);
        text = colour::toQColor(slots_[0]);
    } else {
        fill = isDown() ? QColor(205, 212, 222) : QColor(236, 239, 244);
        border = QColor(140, 148, 160);
        text = QColor(20, 20, 20);
    }
    if (!isEnabled())
        text = QColor(150, 150, 150);
    painter.setPen(QPen(border, hasFocus() ? 2 : 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(frame, 4, 4);
    painter.setPen(text);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, this->text());
}
