#pragma once

#include <QtGlobal>

#include <vector>

// The prompt tune, made here rather than kept as a sound file: three rising bell-like tones,
// C E G, the last held longest. Each tone swells in and dies away to silence within its own
// span, so the tones join without clicks.
namespace tune_synth {

constexpr int SampleRate = 22050;

// Signed 16-bit mono samples at SampleRate; the same every time.
std::vector<qint16> render();

} // namespace tune_synth
