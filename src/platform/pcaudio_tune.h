#pragma once

#include "platform/tune.h"

#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// Plays the prompt tune through pcaudiolib, the audio path the speech engine takes, on a thread
// of its own: a click never waits for the sound device. The device is looked up at the first
// play and opened for each one, so a device that appears later is used; without one the tune is
// silent and nothing is reported.
//
// The sound library tells standard error about every missing sound card at every open; the
// program has nobody reading that, so from construction on those messages are dropped for the
// whole process, the speech engine's included. Create it before the speech engine.
class PcaudioTune : public Tune {
public:
    PcaudioTune();
    ~PcaudioTune() override;
    PcaudioTune(const PcaudioTune&) = delete;
    PcaudioTune& operator=(const PcaudioTune&) = delete;

    void play() override;

private:
    void run();

    const std::vector<qint16> samples_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool stopping_ = false;
    std::thread worker_;
};
