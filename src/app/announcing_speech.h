#pragma once

#include "platform/speech.h"

#include <QObject>

class RackEvents;

// The speech engine as the handlers reach it: every prompt goes on to the engine and is
// reported as spoken, so that the window can show it to an operator who cannot hear it.
class AnnouncingSpeech : public QObject, public Speech {
    Q_OBJECT
public:
    AnnouncingSpeech(Speech& engine, RackEvents& events);
    ~AnnouncingSpeech() override;
    AnnouncingSpeech(const AnnouncingSpeech&) = delete;
    AnnouncingSpeech& operator=(const AnnouncingSpeech&) = delete;

    void speak(const QString& text) override;

    // On the user-interface thread, at most once: no prompt can be heard.
    Q_SIGNAL void silent(const QString& reason);

private:
    Speech& engine_;
    RackEvents& events_;
};
