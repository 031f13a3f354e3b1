#pragma once

#include <QPushButton>

// A push button whose caption breaks onto further lines where the button is too narrow for it,
// as the tall, narrow 按钮3_IP ("查询IP") needs; its text stays one caption.
class WrappingButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};
