#include "platform/pcaudio_output.h"

#include <pcaudiolib/audio.h>

#include <dlfcn.h>

namespace {
void dropSoundLibraryMessage(const char*, int, const char*, int, const char*, ...) {}

// pcaudiolib's functions, from the library loaded at the first play: it brings PulseAudio and
// ALSA with their codecs, dozens of libraries that a start without a sound has no use for.
struct SoundLibrary {
    decltype(&create_audio_device_object) create = nullptr;
    decltype(&audio_object_open) open = nullptr;
    decltype(&audio_object_write) write = nullptr;
    decltype(&audio_object_drain) drain = nullptr;
    decltype(&audio_object_close) close = nullptr;
    decltype(&audio_object_destroy) destroy = nullptr;
};

template <typename Function> void resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
}

// Loaded once for the whole run, by whichever thread plays first.
const SoundLibrary* soundLibrary() {
    static const SoundLibrary library = [] {
        SoundLibrary found;
        if (void* alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL)) {
            using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
            using SetErrorHandler = int (*)(ErrorHandler);
            SetErrorHandler setErrorHandler = nullptr;
            resolve(alsa, "snd_lib_error_set_handler", setErrorHandler);
            if (setErrorHandler)
                setErrorHandler(dropSoundLibraryMessage);
        }
        void* pcaudio = ::dlopen("libpcaudio.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!pcaudio)
            return found;
        resolve(pcaudio, "create_audio_device_object", found.create);
        resolve(pcaudio, "audio_object_open", found.open);
        resolve(pcaudio, "audio_object_write", found.write);
        resolve(pcaudio, "audio_object_drain", found.drain);
        resolve(pcaudio, "audio_object_close", found.close);
        resolve(pcaudio, "audio_object_destroy", found.destroy);
        return found;
    }();
    const bool complete = library.create && library.open && library.write && library.drain &&
                          library.close && library.destroy;
    return complete ? &library : nullptr;
}
} // namespace

PcaudioOutput::PcaudioOutput() = default;

PcaudioOutput::~PcaudioOutput() {
    if (device_)
        soundLibrary()->destroy(device_);
}

bool PcaudioOutput::play(const std::vector<qint16>& samples, int sampleRate) {
    if (samples.empty())
        return true;
    const SoundLibrary* library = soundLibrary();
    if (!library)
        return false;
    if (!device_)
        device_ = library->create(nullptr, "Hubrix", "提示音");
    if (!device_)
        return false;
    if (library->open(device_, AUDIO_OBJECT_FORMAT_S16LE, sampleRate, 1) != 0)
        return false;
    library->write(device_, samples.data(), samples.size() * sizeof(qint16));
    library->drain(device_);
    library->close(device_);
    return true;
}
