#include "platform/pcaudio_output.h"

#include <alsa/asoundlib.h>
#include <pcaudiolib/audio.h>

namespace {
void dropSoundLibraryMessage(const char*, int, const char*, int, const char*, ...) {}
} // namespace

PcaudioOutput::PcaudioOutput() {
    snd_lib_error_set_handler(dropSoundLibraryMessage);
}

PcaudioOutput::~PcaudioOutput() {
    if (device_)
        audio_object_destroy(device_);
}

bool PcaudioOutput::play(const std::vector<qint16>& samples, int sampleRate) {
    if (samples.empty())
        return true;
    if (!device_)
        device_ = create_audio_device_object(nullptr, "Hubrix", "提示音");
    if (!device_)
        return false;
    if (audio_object_open(device_, AUDIO_OBJECT_FORMAT_S16LE, sampleRate, 1) != 0)
        return false;
    audio_object_write(device_, samples.data(), samples.size() * sizeof(qint16));
    audio_object_drain(device_);
    audio_object_close(device_);
    return true;
}
