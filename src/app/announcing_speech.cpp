#include "app/announcing_speech.h"

#include "state/rack_events.h"

AnnouncingSpeech::AnnouncingSpeech(Speech& engine, RackEvents& events)
    : engine_(engine), events_(events) {
    // The engine finds out on a thread of its own.
    engine_.setSilenceReport([this](const QString& reason) {
        QMetaObject::invokeMethod(
            this, [this, reason] { emit silent(reason); }, Qt::QueuedConnection);
    });
}

AnnouncingSpeech::~AnnouncingSpeech() {
    engine_.setSilenceReport({});
}

void AnnouncingSpeech::speak(const QString& text) {
    engine_.speak(text);
    emit events_.promptSpoken(text);
}
