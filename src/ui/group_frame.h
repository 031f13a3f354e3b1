#pragma once

#include <QGroupBox>

// A group box (分组框) whose frame runs through its title, as in the window design, so that
// controls placed near the group's top edge (连接设备, 断开连接, 添加设备) sit inside it. The
// toolkit's own style draws the title above the frame. It paints itself: a style sheet per box
// costs the start a style of its own for each box and everything in it.
class GroupFrame : public QGroupBox {
    Q_OBJECT
public:
    GroupFrame(const QString& title, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
