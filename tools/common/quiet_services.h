#pragma once

#include "platform/dialogs.h"
#include "platform/speech.h"
#include "platform/waits.h"

// For benchmarks and tools that run the program unattended: they measure or show the program,
// not the sound card or an operator.
class QuietSpeech : public Speech {
public:
    void speak(const QString&) override {}
};

class QuietDialogs : public Dialogs {
public:
    Answer show(const QString&, const QString&, Icon, Buttons buttons) override {
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
};

// Real waits, added up.
class CountingWaits : public Waits {
public:
    explicit CountingWaits(Waits& waits) : waits_(waits) {}
    void wait(int ms) override {
        waitedMs += ms;
        ++count;
        waits_.wait(ms);
    }
    void processPendingEvents() override { waits_.processPendingEvents(); }
    qint64 nowMs() const override { return waits_.nowMs(); }

    qint64 waitedMs = 0;
    int count = 0;

private:
    Waits& waits_;
};
