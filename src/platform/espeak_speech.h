#pragma once

#include "platform/speech.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Speaks through the espeak-ng library with its Mandarin voice: offline, no daemon, and it
// neither blocks nor crashes without a sound device. Loading the voice takes some tens of
// milliseconds, so the engine starts on a thread of its own and start-up never waits for it;
// prompts given meanwhile are queued and spoken in order, none cutting off the one before.
// Without an engine the program runs silently.
class EspeakSpeech : public Speech {
public:
    EspeakSpeech();
    ~EspeakSpeech() override;
    EspeakSpeech(const EspeakSpeech&) = delete;
    EspeakSpeech& operator=(const EspeakSpeech&) = delete;

    void speak(const QString& text) override;

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<QByteArray> queue_;
    bool stopping_ = false;
    std::thread worker_;
};
