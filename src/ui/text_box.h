#pragma once

#include <QLineEdit>

// An edit box (编辑框) that reports the events the window design names, so that their
// handlers are connected in the program's event table like any other.
class TextBox : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

signals:
    void gotFocus();
    void lostFocus();
    // keyCode is the design's key code (keys::designCode); the key is still handled as usual.
    void keyDown(int keyCode);
    void doubleClicked();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
