#pragma once

#include <QString>

// Modal message boxes with the program's exact texts.
class Dialogs {
public:
    enum class Icon { None, Question, Warning };
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Dialogs() = default;
    // An empty title leaves the platform's default title. A detail, when given, is shown under
    // the text in the box itself, so that the operator reads it without another click.
    virtual Answer show(const QString& text, const QString& title, Icon icon, Buttons buttons,
                        const QString& detail = QString()) = 0;
};
