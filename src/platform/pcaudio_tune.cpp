#include "platform/pcaudio_tune.h"

#include "platform/pcaudio_output.h"
#include "platform/tune_synth.h"

PcaudioTune::PcaudioTune() {
    worker_ = std::thread([this] { run(); });
}

PcaudioTune::~PcaudioTune() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void PcaudioTune::play() {
    {
        std::lock_guard lock(mutex_);
        pending_ = true;
    }
    wake_.notify_one();
}

void PcaudioTune::run() {
    // Made here rather than by the constructor, so that the window's start does not wait for it.
    const std::vector<qint16> samples = tune_synth::render();
    PcaudioOutput output;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || pending_; });
        if (stopping_)
            break;
        pending_ = false;
        lock.unlock();
        output.play(samples, tune_synth::SampleRate);
        lock.lock();
    }
}
