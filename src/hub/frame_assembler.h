#pragma once

#include "hub/frame_codec.h"

#include <QString>

#include <array>
#include <optional>

// Collects the bytes of one hub link into frame text, framing by count: every twelve bytes
// make one frame. Boards are known only by offsets 4..5 of their replies, so a frame without
// the A5 A6 header is still a frame. Two things keep one stray or lost byte from shifting
// every later frame on the link:
// - an unfinished frame whose next byte comes after a pause is dropped first: a whole frame
//   takes about 1 ms on the line, and boards send nothing between the bytes of one frame;
// - twelve bytes that do not begin with A5 A6 while an A5 A6 follows inside them are moved
//   on to that header, since a stray byte arrived just before a real frame.
class FrameAssembler {
public:
    static constexpr qint64 GapMs = 50;

    // Adds one byte received at nowMs; returns the frame text when this byte completed one.
    std::optional<QString> push(quint8 byte, qint64 nowMs);
    // Characters collected after the last byte; 24 right after a byte completed a frame and
    // until the next byte, 0 before the first byte and after reset().
    int answerLength() const { return answerLength_; }
    void reset() { answerLength_ = 0; }
    // Drops the unfinished frame as well: what came from another port is no part of a frame.
    void clear() {
        count_ = 0;
        answerLength_ = 0;
    }

private:
    // The bytes of the unfinished frame; their text is made once the frame is complete.
    std::array<quint8, frame::Bytes> bytes_{};
    int count_ = 0;
    qint64 lastByteMs_ = 0;
    int answerLength_ = 0;
};
