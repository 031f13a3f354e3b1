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
    PcaudioOutput output;
    // Made at the first play: most runs never play it, and a start would share the processor
    // and its memory with making it.
    std::vector<qint16> samples;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || pending_; });
        if (stopping_)
            break;
        pending_ = false;
        lock.unlock();
        if (samples.empty())
            samples = tune_synth::render();
        output.play(samples, tune_synth::SampleRate);
        lock.lock();
    }
}
