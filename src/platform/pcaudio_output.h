#pragma once

#include <QtGlobal>

#include <vector>

struct audio_object;

// The sound device as pcaudiolib reaches it, for the thread that plays on it. The library is
// loaded and the device looked up at the first play, and the device opened for each one, so a
// device that appears later is used; without one (or without the library) a play is silent
// and nothing is reported.
//
// The sound library tells standard error about every missing sound card at every open; the
// program has nobody reading that, so from the first output on those messages are dropped.
class PcaudioOutput {
public:
    PcaudioOutput();
    ~PcaudioOutput();
    PcaudioOutput(const PcaudioOutput&) = delete;
    PcaudioOutput& operator=(const PcaudioOutput&) = delete;

    // 16-bit mono samples; returns once they have been played. False when there is no sound
    // device to play them on.
    bool play(const std::vector<qint16>& samples, int sampleRate);

private:
    audio_object* device_ = nullptr;
};
