// When the speech engine is loaded: not at start, only by the speech thread at the first prompt,
// and without it the program runs silent and says so once. The real engine is never loaded in
// this process, so that what the dynamic loader holds shows what the program maps by itself.
#include "platform/espeak_engine.h"
#include "platform/espeak_speech.h"

#include <QStringList>
#include <QTest>

#include <dlfcn.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {
const QString MissingEngine = QStringLiteral("libhubrix-no-such-speech-engine.so.1");

// Whether the process has a library mapped, without mapping it.
bool mapped(const char* file) {
    void* handle = ::dlopen(file, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        ::dlclose(handle);
    return handle != nullptr;
}

// The libraries a start that speaks nothing must not map: the engine and what it brings.
const char* const SoundLibraries[] = {"libespeak-ng.so.1", "libpcaudio.so.0", "libpulse.so.0",
                                      "libsndfile.so.1"};

// The silence reports of one speech object, which calls them from its own thread.
class Reports {
public:
    Speech::SilenceReport report() {
        return [this](const QString& reason) {
            {
                std::lock_guard lock(mutex_);
                reasons_ << reason;
            }
            arrived_.notify_all();
        };
    }
    // Waits for the first report; false when none came within a bound far above any load.
    bool awaitFirst() {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(60),
                                 [this] { return !reasons_.isEmpty(); });
    }
    QStringList reasons() {
        std::lock_guard lock(mutex_);
        return reasons_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    QStringList reasons_;
};
} // namespace

class SpeechLoadingTest : public QObject {
    Q_OBJECT
private slots:
    void start_mapsNoSoundLibrary() {
        EspeakSpeech speech;
        Reports reports;
        speech.setSilenceReport(reports.report());
        speech.speak(QStringLiteral("欢迎使用Hubrix"));
        for (const char* file : SoundLibraries)
            QVERIFY2(!mapped(file), file);
        QVERIFY(reports.reasons().isEmpty());
    }

    void engine_withoutItsLibrary_isNotLoaded() {
        EspeakEngine engine(MissingEngine);
        QVERIFY(!engine.load());
        QVERIFY(!engine.isLoaded());
        QCOMPARE(engine.sampleRate(), 0);
        QVERIFY(engine.phonemes(QStringLiteral("设备未连接")).isEmpty());
        QVERIFY(engine.synthesise(QStringLiteral("设备未连接")).empty());
    }

    // A library that loads but is not the engine is refused rather than called.
    void engine_fromALibraryWithoutItsFunctions_isNotLoaded() {
        EspeakEngine engine(QStringLiteral("libsqlite3.so.0"));
        QVERIFY(!engine.load());
        QVERIFY(!engine.isLoaded());
        QVERIFY(engine.voice().isEmpty());
    }

    // Loading reports a missing engine, so a report shows whether loading was tried; the
    // destructor waits for a load under way.
    void speech_loadsNothingBeforeLoadingMayBegin() {
        Reports reports;
        {
            EspeakSpeech speech(MissingEngine);
            speech.setSilenceReport(reports.report());
            speech.speak(QStringLiteral("欢迎使用Hubrix"));
            speech.speak(QStringLiteral("设备未连接"));
        }
        QVERIFY(reports.reasons().isEmpty());
    }

    void speech_thatSpeaksNothing_loadsNothing() {
        Reports reports;
        {
            EspeakSpeech speech(MissingEngine);
            speech.setSilenceReport(reports.report());
            speech.beginLoading();
        }
        QVERIFY(reports.reasons().isEmpty());
    }

    void speech_withoutTheEngine_reportsSilenceOnce_data() {
        QTest::addColumn<bool>("promptsFirst");
        QTest::newRow("prompts queued before loading may begin") << true;
        QTest::newRow("prompts given after") << false;
    }
    void speech_withoutTheEngine_reportsSilenceOnce() {
        QFETCH(bool, promptsFirst);
        Reports reports;
        {
            EspeakSpeech speech(MissingEngine);
            speech.setSilenceReport(reports.report());
            if (!promptsFirst)
                speech.beginLoading();
            speech.speak(QStringLiteral("欢迎使用Hubrix"));
            speech.speak(QStringLiteral("设备未连接"));
            if (promptsFirst)
                speech.beginLoading();
            QVERIFY(reports.awaitFirst());
            speech.speak(QStringLiteral("设备未连接"));
        }
        QCOMPARE(reports.reasons(),
                 QStringList{QStringLiteral("语音引擎无法加载，提示只显示在这里")});
        for (const char* file : SoundLibraries)
            QVERIFY2(!mapped(file), file);
    }
};

QTEST_GUILESS_MAIN(SpeechLoadingTest)
#include "test_speech_loading.moc"
