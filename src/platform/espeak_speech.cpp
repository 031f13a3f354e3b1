#include "platform/espeak_speech.h"

#include <espeak-ng/speak_lib.h>

EspeakSpeech::EspeakSpeech() : worker_([this] { run(); }) {}

EspeakSpeech::~EspeakSpeech() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void EspeakSpeech::speak(const QString& text) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(text.toUtf8());
    }
    wake_.notify_one();
}

void EspeakSpeech::run() {
    // Asynchronous playback: espeak_Synth queues the text on espeak's own thread and returns.
    const bool ready = espeak_Initialize(AUDIO_OUTPUT_PLAYBACK, 0, nullptr, 0) > 0;
    if (ready)
        espeak_SetVoiceByName("cmn");
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            break;
        const QByteArray text = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        if (ready)
            espeak_Synth(text.constData(), size_t(text.size()) + 1, 0, POS_CHARACTER, 0,
                         espeakCHARS_UTF8, nullptr, nullptr);
        lock.lock();
    }
    lock.unlock();
    if (ready) {
        espeak_Cancel();
        espeak_Terminate();
    }
}
