#pragma once

#include <QComboBox>

// A drop-down list (组合框) that reports the events the window design names. "entrySelected"
// is the operator's choice of an entry only; entries the program selects raise nothing.
//
// A double-click reaches the list as doubleClicked whether the list was closed or open: with a
// real mouse the first click of a double-click picks the entry and closes the list, the second
// opens it again and its double-click lands on the opened list's view.
class DropList : public QComboBox {
    Q_OBJECT
public:
    explicit DropList(QWidget* parent = nullptr);

    void showPopup() override;

signals:
    void gotFocus();
    void lostFocus();
    // keyCode is the design's key code (keys::designCode); the key is still handled as usual.
    void keyDown(int keyCode);
    void doubleClicked();
    void entrySelected(int index);
    void aboutToDropDown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
