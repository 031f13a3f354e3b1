#include "platform/espeak_speech.h"

#include <espeak-ng/speak_lib.h>

EspeakSpeech::EspeakSpeech() {
    // Asynchronous playback: espeak_Synth queues the text and returns.
    ready_ = espeak_Initialize(AUDIO_OUTPUT_PLAYBACK, 0, nullptr, 0) > 0;
    if (ready_)
        espeak_SetVoiceByName("cmn");
}

EspeakSpeech::~EspeakSpeech() {
    if (!ready_)
        return;
    espeak_Cancel();
    espeak_Terminate();
}

void EspeakSpeech::speak(const QString& text) {
    if (!ready_)
        return;
    const QByteArray utf8 = text.toUtf8();
    espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                 nullptr, nullptr);
}
