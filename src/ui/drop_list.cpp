#include "ui/drop_list.h"

#include "ui/key_codes.h"

#include <QKeyEvent>

DropList::DropList(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this, &DropList::entrySelected);
}

void DropList::showPopup() {
    emit aboutToDropDown();
    QComboBox::showPopup();
}

void DropList::focusInEvent(QFocusEvent* event) {
    QComboBox::focusInEvent(event);
    emit gotFocus();
}

void DropList::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    emit lostFocus();
}

void DropList::keyPressEvent(QKeyEvent* event) {
    QComboBox::keyPressEvent(event);
    emit keyDown(keys::designCode(event->key()));
}

void DropList::mouseDoubleClickEvent(QMouseEvent* event) {
    QComboBox::mouseDoubleClickEvent(event);
    emit doubleClicked();
}
