#include "platform/espeak_speech.h"

#include "platform/pcaudio_output.h"

#include <espeak-ng/speak_lib.h>

#include <vector>

namespace {
// Collects what the engine synthesises for one prompt.
int collect(short* samples, int count, espeak_EVENT* events) {
    auto* prompt = static_cast<std::vector<qint16>*>(events->user_data);
    if (samples && count > 0)
        prompt->insert(prompt->end(), samples, samples + count);
    return 0;
}
} // namespace

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
    // The engine only synthesises; this thread plays what it made on the program's own sound
    // output, which stays quiet without a sound device where the engine's would complain on
    // standard error at every prompt.
    const int sampleRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
    const bool ready = sampleRate > 0;
    if (ready) {
        espeak_SetSynthCallback(collect);
        espeak_SetVoiceByName("cmn");
    }
    PcaudioOutput output;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            break;
        const QByteArray text = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        if (ready) {
            std::vector<qint16> prompt;
            espeak_Synth(text.constData(), size_t(text.size()) + 1, 0, POS_CHARACTER, 0,
                         espeakCHARS_UTF8, nullptr, &prompt);
            output.play(prompt, sampleRate);
        }
        lock.lock();
    }
    lock.unlock();
    if (ready)
        espeak_Terminate();
}
