#pragma once

#include "platform/background_writer.h"

// Runs each write at once on the caller's thread and answers before submit returns, so that a
// test reads the outcome of an action right after it, as on a disk that never stalls.
class InlineWriter : public BackgroundWriter {
public:
    bool submit(Work work, QObject*, Answer answer) override {
        const bool done = work();
        if (answer)
            answer(done);
        return true;
    }
    void drain() override {}
};

// For stores that tests open beside the program's, to set a file up or read it back.
inline InlineWriter& inlineWriter() {
    static InlineWriter writer;
    return writer;
}
