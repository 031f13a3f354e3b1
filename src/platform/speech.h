#pragma once

#include <QString>

#include <functional>

// Speaks the program's voice prompts. speak() returns at once; prompts are spoken in the order
// given, none cutting off the one before.
class Speech {
public:
    // Why no prompt can be heard, in the operator's words.
    using SilenceReport = std::function<void(const QString& reason)>;

    virtual ~Speech() = default;
    virtual void speak(const QString& text) = 0;
    // report is called at most once, from any thread, when it turns out that no prompt can be
    // heard at all (no speech engine, no sound device). An engine that always can be heard
    // never calls it.
    virtual void setSilenceReport(SilenceReport report) { (void)report; }
    // The window is up and the events of its start are handled: an engine that is slow to load
    // may load now. Until then such an engine keeps the prompts it is given and speaks them
    // afterwards, in order.
    virtual void beginLoading() {}
};
