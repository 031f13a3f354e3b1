#pragma once

#include "platform/tune.h"

#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <thread>

// Plays the prompt tune on the sound device the speech uses, on a thread of its own: a click
// never waits for the sound device.
class PcaudioTune : public Tune {
public:
    PcaudioTune();
    ~PcaudioTune() override;
    PcaudioTune(const PcaudioTune&) = delete;
    PcaudioTune& operator=(const PcaudioTune&) = delete;

    void play() override;

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool stopping_ = false;
    std::thread worker_;
};
