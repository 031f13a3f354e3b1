#pragma once

#include "platform/speech.h"

#include <QStringList>

class FakeSpeech : public Speech {
public:
    void speak(const QString& text) override { spoken.append(text); }
    QStringList spoken;
};
