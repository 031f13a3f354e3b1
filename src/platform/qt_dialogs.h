#pragma once

#include "platform/dialogs.h"

class QtDialogs : public Dialogs {
public:
    Answer show(const QString& text, const QString& title, Icon icon, Buttons buttons,
                const QString& detail) override;
};
