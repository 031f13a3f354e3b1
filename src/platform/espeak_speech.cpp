#include "platform/espeak_speech.h"

#include "platform/pcaudio_output.h"

#include <utility>

EspeakSpeech::EspeakSpeech(QString libraryFile) : libraryFile_(std::move(libraryFile)) {}

EspeakSpeech::~EspeakSpeech() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable())
        worker_.join();
}

void EspeakSpeech::speak(const QString& text) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(text);
        startWorkerIfDue();
    }
    wake_.notify_one();
}

void EspeakSpeech::beginLoading() {
    std::lock_guard lock(mutex_);
    loadingBegun_ = true;
    startWorkerIfDue();
}

void EspeakSpeech::startWorkerIfDue() {
    // A run that speaks nothing never loads the engine.
    if (loadingBegun_ && !queue_.empty() && !worker_.joinable())
        worker_ = std::thread([this] { run(); });
}

void EspeakSpeech::setSilenceReport(SilenceReport report) {
    std::lock_guard lock(mutex_);
    silenceReport_ = std::move(report);
}

void EspeakSpeech::reportSilence(const QString& reason) {
    // Under the lock, so that whoever replaces or drops the report afterwards is never called.
    std::lock_guard lock(mutex_);
    if (silenceReported_)
        return;
    silenceReported_ = true;
    if (silenceReport_)
        silenceReport_(reason);
}

void EspeakSpeech::run() {
    // The engine only synthesises; this thread plays what it made on the program's own sound
    // output, which stays quiet without a sound device where the engine's would complain on
    // standard error at every prompt.
    EspeakEngine engine(libraryFile_);
    if (!engine.load())
        reportSilence(QStringLiteral("语音引擎无法加载，提示只显示在这里"));
    PcaudioOutput output;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            break;
        const QString text = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        if (engine.isLoaded() && !output.play(engine.synthesise(text), engine.sampleRate()))
            reportSilence(QStringLiteral("没有可用的声音设备，提示只显示在这里"));
        lock.lock();
    }
}
