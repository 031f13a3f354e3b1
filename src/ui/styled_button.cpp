#include "ui/styled_button.h"

#include "ui/accessibility.h"
#include "ui/colours.h"

#include <QPainter>

#include <tuple>

StyledButton::StyledButton(const QString& name, const QString& caption, QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(name);
    setText(caption);
}

void StyledButton::setLit(bool lit) {
    lit_ = lit;
    if (!lit)
        slots_.fill(std::nullopt);
    update();
}

void StyledButton::setColourSlot(int slot, quint32 colour) {
    if (slot < 1 || slot > int(slots_.size()))
        return;
    slots_[size_t(slot - 1)] = colour;
    update();
}

void StyledButton::setConfirmation(Confirmation confirmation) {
    if (confirmation_ == confirmation)
        return;
    confirmation_ = confirmation;
    accessibility::notifyNameChanged(this);
    update();
}

quint32 StyledButton::colourSlot(int slot) const {
    if (slot < 1 || slot > int(slots_.size()))
        return 0;
    return slots_[size_t(slot - 1)].value_or(0);
}

void StyledButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill, border, text;
    if (lit_) {
        const auto slotColour = [this](int slot, QColor fallback) {
            const auto& value = slots_[size_t(slot - 1)];
            return value ? colour::toQColor(*value) : fallback;
        };
        fill =
            slotColour(isDown() ? 3 : 4, isDown() ? QColor(240, 200, 90) : QColor(255, 226, 130));
        border = slotColour(2, QColor(190, 140, 20));
        text = slotColour(1, QColor(20, 20, 20));
    } else {
        fill = isDown() ? QColor(205, 212, 222) : QColor(236, 239, 244);
        border = QColor(140, 148, 160);
        text = QColor(20, 20, 20);
    }
    if (!isEnabled())
        text = QColor(150, 150, 150);
    else
        std::tie(text, fill) = colour::readable(text, fill);
    painter.setPen(QPen(border, hasFocus() ? 2 : 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(frame, 4, 4);
    painter.setPen(text);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, this->text());
    paintConfirmation(painter, frame);
}

// A wait for the echo is a dashed amber frame; an echo that did not come is a solid magenta
// frame with a question mark in the corner, apart from every colour a lit or plain tile uses.
void StyledButton::paintConfirmation(QPainter& painter, const QRectF& frame) {
    if (confirmation_ == Confirmation::Confirmed)
        return;
    const bool missing = confirmation_ == Confirmation::Missing;
    const QColor mark = missing ? QColor(176, 0, 176) : QColor(214, 140, 0);
    QPen pen(mark, 3, missing ? Qt::SolidLine : Qt::DashLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame.adjusted(1.5, 1.5, -1.5, -1.5), 4, 4);
    if (!missing)
        return;
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(rect().adjusted(0, 1, -5, 0), Qt::AlignTop | Qt::AlignRight,
                     QStringLiteral("?"));
}
