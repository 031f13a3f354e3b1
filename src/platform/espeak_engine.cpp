#include "platform/espeak_engine.h"

#include <espeak-ng/speak_lib.h>

#include <QByteArray>
#include <QRegularExpression>

#include <utility>

namespace {
// A prompt that a voice reading Chinese as pinyin spelt in English gets wrong.
const QString ProbePrompt = QStringLiteral("设备未连接");

// Latin words the program speaks, and the characters that say them in Mandarin.
const std::pair<QString, QString> LatinWords[] = {
    {QStringLiteral("Hubrix"), QStringLiteral("哈布瑞克斯")},
};

int collect(short* samples, int count, espeak_EVENT* events) {
    auto* prompt = static_cast<std::vector<qint16>*>(events->user_data);
    if (samples && count > 0)
        prompt->insert(prompt->end(), samples, samples + count);
    return 0;
}

// The library is loaded once for the process and stays: espeak-ng 1.51 hangs when it is loaded
// again after espeak_Terminate. The sample rate, or 0 when it does not load.
int librarySampleRate() {
    static const int rate = [] {
        const int loaded = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
        if (loaded > 0)
            espeak_SetSynthCallback(collect);
        return loaded;
    }();
    return rate;
}
} // namespace

const QStringList EspeakEngine::CandidateVoices = {QStringLiteral("cmn-latn-pinyin"),
                                                   QStringLiteral("cmn"), QStringLiteral("zh")};

bool EspeakEngine::load(const QStringList& candidates) {
    if (isLoaded())
        return true;
    sampleRate_ = librarySampleRate();
    if (sampleRate_ <= 0)
        return false;
    QString fallback;
    for (const QString& name : candidates) {
        if (!tryVoice(name))
            continue;
        if (fallback.isEmpty())
            fallback = name;
        const QString probe = phonemes(ProbePrompt);
        if (!probe.trimmed().isEmpty() && !switchesLanguage(probe)) {
            voice_ = name;
            mandarin_ = true;
            return true;
        }
    }
    if (fallback.isEmpty() || !tryVoice(fallback)) {
        sampleRate_ = 0;
        return false;
    }
    voice_ = fallback;
    return true;
}

bool EspeakEngine::tryVoice(const QString& name) {
    return espeak_SetVoiceByName(name.toUtf8().constData()) == EE_OK;
}

QString EspeakEngine::phonemes(const QString& prompt) const {
    if (!isLoaded())
        return {};
    const QByteArray text = spokenForm(prompt).toUtf8();
    const void* position = text.constData();
    QString result;
    // One call per clause; position becomes null at the end of the text.
    while (position) {
        const char* clause = espeak_TextToPhonemes(&position, espeakCHARS_UTF8, 0);
        if (!clause)
            break;
        if (!result.isEmpty())
            result += QLatin1Char(' ');
        result += QString::fromUtf8(clause);
    }
    return result;
}

std::vector<qint16> EspeakEngine::synthesise(const QString& prompt) const {
    std::vector<qint16> samples;
    if (!isLoaded())
        return samples;
    const QByteArray text = spokenForm(prompt).toUtf8();
    espeak_Synth(text.constData(), size_t(text.size()) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                 nullptr, &samples);
    return samples;
}

QString EspeakEngine::spokenForm(const QString& prompt) {
    QString spoken = prompt;
    for (const auto& [word, said] : LatinWords)
        spoken.replace(word, said, Qt::CaseInsensitive);
    return spoken;
}

bool EspeakEngine::switchesLanguage(const QString& phonemes) {
    // espeak-ng writes a switch as the language's name in brackets, "(en)", and the way back
    // as "(cmn)".
    static const QRegularExpression Switch(QStringLiteral("\\([a-z]{2,3}(-[A-Za-z0-9-]+)?\\)"));
    return Switch.match(phonemes).hasMatch();
}
