#include "ui/text_box.h"

#include "ui/key_codes.h"

#include <QKeyEvent>

void TextBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    emit gotFocus();
}

void TextBox::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    emit lostFocus();
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    // The handler may move the focus away; the box still takes its key first, as it would
    // without one.
    QLineEdit::keyPressEvent(event);
    emit keyDown(keys::designCode(event->key()));
}

void TextBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QLineEdit::mouseDoubleClickEvent(event);
    emit doubleClicked();
}
