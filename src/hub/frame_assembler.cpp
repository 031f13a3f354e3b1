#include "hub/frame_assembler.h"

std::optional<QString> FrameAssembler::push(quint8 byte, qint64 nowMs) {
    if (count_ > 0 && nowMs - lastByteMs_ > GapMs)
        count_ = 0;
    lastByteMs_ = nowMs;
    bytes_[size_t(count_++)] = byte;
    answerLength_ = 2 * count_;
    if (count_ < frame::Bytes)
        return std::nullopt;
    count_ = 0;
    char text[frame::TextLength];
    for (size_t i = 0; i < bytes_.size(); ++i) {
        text[2 * i] = frame::HexDigits[bytes_[i] >> 4];
        text[2 * i + 1] = frame::HexDigits[bytes_[i] & 0xF];
    }
    // The frame's text as byte_to_hex would write it, made in one go.
    return QString::fromLatin1(text, frame::TextLength);
}
