#include "platform/espeak_engine.h"

#include <espeak-ng/speak_lib.h>

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <utility>

// espeak-ng's functions, resolved from the library the speech thread opens at the first prompt:
// linked, it would bring PulseAudio, libsndfile and their codecs into every start.
struct EspeakLibrary {
    decltype(&espeak_Initialize) initialize = nullptr;
    decltype(&espeak_SetSynthCallback) setSynthCallback = nullptr;
    decltype(&espeak_SetVoiceByName) setVoiceByName = nullptr;
    decltype(&espeak_TextToPhonemes) textToPhonemes = nullptr;
    decltype(&espeak_Synth) synth = nullptr;
    // 0 when the library lacks a function or its engine does not start.
    int sampleRate = 0;
};

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

template <typename Function> void resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
}

// Each library is initialised once for the process and stays: espeak-ng 1.51 hangs when it is
// initialised again after espeak_Terminate. Null when the file does not load or its engine does
// not start.
const EspeakLibrary* openLibrary(const QString& file) {
    void* handle = ::dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    static std::mutex mutex;
    static std::map<void*, EspeakLibrary> opened;
    std::lock_guard lock(mutex);
    auto [entry, added] = opened.try_emplace(handle);
    EspeakLibrary& library = entry->second;
    if (added) {
        resolve(handle, "espeak_Initialize", library.initialize);
        resolve(handle, "espeak_SetSynthCallback", library.setSynthCallback);
        resolve(handle, "espeak_SetVoiceByName", library.setVoiceByName);
        resolve(handle, "espeak_TextToPhonemes", library.textToPhonemes);
        resolve(handle, "espeak_Synth", library.synth);
        if (library.initialize && library.setSynthCallback && library.setVoiceByName &&
            library.textToPhonemes && library.synth) {
            library.sampleRate = library.initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
            if (library.sampleRate > 0)
                library.setSynthCallback(collect);
        }
    }
    return library.sampleRate > 0 ? &library : nullptr;
}
} // namespace

const QString EspeakEngine::LibraryFile = QStringLiteral("libespeak-ng.so.1");

const QStringList EspeakEngine::CandidateVoices = {QStringLiteral("cmn-latn-pinyin"),
                                                   QStringLiteral("cmn"), QStringLiteral("zh")};

EspeakEngine::EspeakEngine(QString libraryFile) : libraryFile_(std::move(libraryFile)) {}

bool EspeakEngine::load(const QStringList& candidates) {
    if (isLoaded())
        return true;
    library_ = openLibrary(libraryFile_);
    if (!library_)
        return false;
    sampleRate_ = library_->sampleRate;
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
    return library_->setVoiceByName(name.toUtf8().constData()) == EE_OK;
}

QString EspeakEngine::phonemes(const QString& prompt) const {
    if (!isLoaded())
        return {};
    const QByteArray text = spokenForm(prompt).toUtf8();
    const void* position = text.constData();
    QString result;
    // One call per clause; position becomes null at the end of the text.
    while (position) {
        const char* clause = library_->textToPhonemes(&position, espeakCHARS_UTF8, 0);
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
    library_->synth(text.constData(), size_t(text.size()) + 1, 0, POS_CHARACTER, 0,
                    espeakCHARS_UTF8, nullptr, &samples);
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
