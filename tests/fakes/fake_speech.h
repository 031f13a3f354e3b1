#pragma once

#include "platform/speech.h"

#include <QStringList>

class FakeSpeech : public Speech {
public:
    void speak(const QString& text) override { spoken.append(text); }
    void setSilenceReport(SilenceReport report) override { silenceReport = std::move(report); }
    void beginLoading() override { ++loadingBegun; }

    QStringList spoken;
    // How often the program said that the engine may load.
    int loadingBegun = 0;
    // What the program gave to hear that no prompt can be heard; call it to say so.
    SilenceReport silenceReport;
};
