#pragma once

#include "platform/dialogs.h"

class QWidget;

class QtDialogs : public Dialogs {
public:
    void setParentWindow(QWidget* window) { parent_ = window; }
    Answer show(const QString& text, const QString& title, Icon icon, Buttons buttons) override;

private:
    QWidget* parent_ = nullptr;
};
