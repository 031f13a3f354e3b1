#include "platform/tune_synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tune_synth {
namespace {
struct Tone {
    double hertz;
    int ms;
};
constexpr Tone Tones[] = {{1046.50, 90}, {1318.51, 90}, {1567.98, 180}};

// Well below full scale: the tune sits beside speech and should not drown it.
constexpr double Loudness = 0.35 * 32767;
// A touch of the octave above gives the tone its bell colour.
constexpr double OctaveShare = 0.2;
constexpr double DecaySeconds = 0.08;
// Rise and fall at each end of a tone; a few milliseconds are heard as a soft edge, not a click.
constexpr int EdgeSamples = 4 * SampleRate / 1000;
} // namespace

std::vector<qint16> render() {
    std::vector<qint16> samples;
    for (const Tone& tone : Tones) {
        const int count = tone.ms * SampleRate / 1000;
        for (int i = 0; i < count; ++i) {
            const double seconds = double(i) / SampleRate;
            const double edge =
                std::min({1.0, double(i) / EdgeSamples, double(count - 1 - i) / EdgeSamples});
            const double phase = 2 * std::numbers::pi * tone.hertz * seconds;
            const double wave =
                (1 - OctaveShare) * std::sin(phase) + OctaveShare * std::sin(2 * phase);
            const double level = Loudness * edge * std::exp(-seconds / DecaySeconds);
            samples.push_back(qint16(std::lround(level * wave)));
        }
    }
    return samples;
}

} // namespace tune_synth
