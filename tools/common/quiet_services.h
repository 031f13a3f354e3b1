#pragma once

#include "platform/dialogs.h"
#include "platform/network.h"
#include "platform/speech.h"
#include "platform/tune.h"
#include "platform/waits.h"

// For benchmarks and tools that run the program unattended: they measure or show the program,
// not the sound card or an operator.
class QuietSpeech : public Speech {
public:
    void speak(const QString&) override {}
};

class QuietTune : public Tune {
public:
    void play() override {}
};

class QuietDialogs : public Dialogs {
public:
    Answer show(const QString&, const QString&, Icon, Buttons buttons, const QString&) override {
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
};

// Says Yes to every question, as an operator confirming a bind or an unbind.
class AgreeingDialogs : public Dialogs {
public:
    Answer show(const QString&, const QString&, Icon, Buttons buttons, const QString&) override {
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Yes;
    }
};

// Off the network: nothing unattended should reach out of the machine.
class QuietNetwork : public Network {
public:
    bool isConnected() const override { return false; }
    QStringList localAddresses() const override { return {}; }
    Page get(const QUrl&) override { return {}; }
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
    void callAfter(int ms, QObject* receiver, std::function<void()> call) override {
        waits_.callAfter(ms, receiver, std::move(call));
    }

    qint64 waitedMs = 0;
    int count = 0;

private:
    Waits& waits_;
};
