#include "platform/pcaudio_tune.h"

#include "platform/tune_synth.h"

#include <alsa/asoundlib.h>
#include <pcaudiolib/audio.h>

namespace {
void dropSoundLibraryMessage(const char*, int, const char*, int, const char*, ...) {}

// One play on the device, looked up on first use; nothing without a device to play on.
void playOn(audio_object*& device, const std::vector<qint16>& samples) {
    if (!device)
        device = create_audio_device_object(nullptr, "Hubrix", "提示音");
    if (!device)
        return;
    if (audio_object_open(device, AUDIO_OBJECT_FORMAT_S16LE, tune_synth::SampleRate, 1) != 0)
        return;
    audio_object_write(device, samples.data(), samples.size() * sizeof(qint16));
    audio_object_drain(device);
    audio_object_close(device);
}
} // namespace

PcaudioTune::PcaudioTune() : samples_(tune_synth::render()) {
    snd_lib_error_set_handler(dropSoundLibraryMessage);
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
    audio_object* device = nullptr;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || pending_; });
        if (stopping_)
            break;
        pending_ = false;
        lock.unlock();
        playOn(device, samples_);
        lock.lock();
    }
    lock.unlock();
    if (device)
        audio_object_destroy(device);
}
