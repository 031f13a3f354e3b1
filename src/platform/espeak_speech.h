#pragma once

#include "platform/espeak_engine.h"
#include "platform/speech.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Speaks through the espeak-ng library with a voice that reads Chinese as Mandarin (see
// EspeakEngine): offline, no daemon, and it neither blocks nor crashes without a sound device.
// Loading the engine and checking its voices takes a good part of a second and maps the sound
// libraries, so it happens on a thread of its own once the first prompt is asked for and
// beginLoading() has been called, and the window's start never waits for it; prompts given
// meanwhile are queued and spoken in order, none cutting off the one before.
// Without an engine or a sound device the program runs silently and reports that once.
class EspeakSpeech : public Speech {
public:
    // libraryFile is where the engine is loaded from (see EspeakEngine::LibraryFile).
    explicit EspeakSpeech(QString libraryFile = EspeakEngine::LibraryFile);
    ~EspeakSpeech() override;
    EspeakSpeech(const EspeakSpeech&) = delete;
    EspeakSpeech& operator=(const EspeakSpeech&) = delete;

    void speak(const QString& text) override;
    void setSilenceReport(SilenceReport report) override;
    void beginLoading() override;

private:
    void run();
    void reportSilence(const QString& reason);
    // Under mutex_.
    void startWorkerIfDue();

    const QString libraryFile_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<QString> queue_;
    bool loadingBegun_ = false;
    bool stopping_ = false;
    bool silenceReported_ = false;
    SilenceReport silenceReport_;
    std::thread worker_;
};
