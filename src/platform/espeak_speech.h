#pragma once

#include "platform/speech.h"

// Speaks through the espeak-ng library with its Mandarin voice. It starts in milliseconds,
// needs no daemon and queues prompts on its own thread, so speak() never blocks the window.
// Without an engine or a sound device the program runs silently.
class EspeakSpeech : public Speech {
public:
    EspeakSpeech();
    ~EspeakSpeech() override;
    EspeakSpeech(const EspeakSpeech&) = delete;
    EspeakSpeech& operator=(const EspeakSpeech&) = delete;

    void speak(const QString& text) override;

private:
    bool ready_ = false;
};
