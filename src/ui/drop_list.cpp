#include "ui/drop_list.h"

#include "ui/key_codes.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>

DropList::DropList(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this, &DropList::entrySelected);
    view()->viewport()->installEventFilter(this);
}

bool DropList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonDblClick || watched != view()->viewport())
        return QComboBox::eventFilter(watched, event);
    // The entry double-clicked is the one acted on, as on the closed list.
    const QModelIndex entry =
        view()->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
    if (entry.isValid())
        setCurrentIndex(entry.row());
    hidePopup();
    emit doubleClicked();
    return true;
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
