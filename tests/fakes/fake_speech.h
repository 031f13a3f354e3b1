#pragma once

#include "platform/speech.h"

#include <QStringList>

class FakeSpeech : public Speech {
public:
    void speak(const QString& text) override { spoken.append(text); }
    void setSilenceReport(SilenceReport report) override { silenceReport = std::move(report); }

    QStringList spoken;
    // What the program gave to hear that no prompt can be heard; call it to say so.
    SilenceReport silenceReport;
};
