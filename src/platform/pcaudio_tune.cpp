#include "platform/pcaudio_tune.h"

#include "platform/pcaudio_output.h"
#include "platform/tune_synth.h"

PcaudioTune::PcaudioTune() : samples_(tune_synth::render()) {
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
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || pending_; });
        if (stopping_)
            break;
        pending_ = false;
        lock.unlock();
        output.play(samples_, tune_synth::SampleRate);
        lock.lock();
    }
}
