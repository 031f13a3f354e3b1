#include "hub/frame_assembler.h"

#include "hub/frame_codec.h"

std::optional<QString> FrameAssembler::push(quint8 byte, qint64 nowMs) {
    if (!buffer_.isEmpty() && nowMs - lastByteMs_ > GapMs)
        buffer_.clear();
    lastByteMs_ = nowMs;
    append_hex(buffer_, byte);
    answerLength_ = int(buffer_.size());
    if (answerLength_ < frame::TextLength)
        return std::nullopt;
    QString text;
    text.swap(buffer_);
    buffer_.reserve(frame::TextLength);
    return text;
}
