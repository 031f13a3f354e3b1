#pragma once

#include "platform/dialogs.h"

#include <QList>

#include <functional>

// Message boxes with scripted answers; every box shown is recorded.
class FakeDialogs : public Dialogs {
public:
    struct Shown {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
        QString detail;
    };

    Answer show(const QString& text, const QString& title, Icon icon, Buttons buttons,
                const QString& detail) override {
        shown.append({text, title, icon, buttons, detail});
        // What happens while the box is open: echoes, scripts.
        if (duringShow)
            std::exchange(duringShow, nullptr)();
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }

    QList<Shown> shown;
    // Answers given in turn; once used up, OK boxes answer OK and Yes/No boxes answer No.
    QList<Answer> answers;
    // Runs once, while the next box is open.
    std::function<void()> duringShow;
};
