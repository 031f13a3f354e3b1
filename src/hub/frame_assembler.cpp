#include "hub/frame_assembler.h"

#include <algorithm>

namespace {
constexpr quint8 HeaderFirst = 0xA5;
constexpr quint8 HeaderSecond = 0xA6;
} // namespace

std::optional<QString> FrameAssembler::push(quint8 byte, qint64 nowMs) {
    if (count_ > 0 && nowMs - lastByteMs_ > GapMs)
        count_ = 0;
    lastByteMs_ = nowMs;
    bytes_[size_t(count_++)] = byte;
    answerLength_ = 2 * count_;
    if (count_ < frame::Bytes)
        return std::nullopt;
    if (bytes_[0] != HeaderFirst || bytes_[1] != HeaderSecond) {
        for (int at = 1; at + 1 < frame::Bytes; ++at) {
            if (bytes_[size_t(at)] == HeaderFirst && bytes_[size_t(at + 1)] == HeaderSecond) {
                std::copy(bytes_.begin() + at, bytes_.end(), bytes_.begin());
                count_ = frame::Bytes - at;
                answerLength_ = 2 * count_;
                return std::nullopt;
            }
        }
    }
    count_ = 0;
    char text[frame::TextLength];
    for (size_t i = 0; i < bytes_.size(); ++i) {
        text[2 * i] = frame::HexDigits[bytes_[i] >> 4];
        text[2 * i + 1] = frame::HexDigits[bytes_[i] & 0xF];
    }
    // The frame's text as byte_to_hex would write it, made in one go.
    return QString::fromLatin1(text, frame::TextLength);
}
