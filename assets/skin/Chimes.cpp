#include "Chimes.h"

#include <algorithm>
#include <cmath>

namespace skin {
namespace {

struct Note {
  double frequency;  // Hz
  double start;      // s
  double length;     // s, including the fade-out
  double gain;
};

struct Timbre {
  double overtone2;  // share of the second harmonic
  double overtone3;  // share of the third
  double decay;      // s, time constant of the exponential decay
};

// Each note rises over a raised-cosine attack, decays exponentially and fades to exactly
// zero at its end, so nothing starts or stops with a click.
std::vector<int16_t> Render(const std::vector<Note>& notes, const Timbre& timbre, double duration,
                            double peak) {
  const int count = static_cast<int>(duration * kSoundSampleRate);
  std::vector<double> mix(count, 0.0);
  const double attack = 0.012, release = 0.06;
  for (const Note& n : notes) {
    const int first = static_cast<int>(n.start * kSoundSampleRate);
    const int length = static_cast<int>(n.length * kSoundSampleRate);
    for (int i = 0; i < length && first + i < count; ++i) {
      const double t = static_cast<double>(i) / kSoundSampleRate;
      double envelope = std::exp(-t / timbre.decay);
      if (t < attack) envelope *= 0.5 - 0.5 * std::cos(M_PI * t / attack);
      const double untilEnd = n.length - t;
      if (untilEnd < release) envelope *= 0.5 - 0.5 * std::cos(M_PI * untilEnd / release);
      const double phase = 2 * M_PI * n.frequency * t;
      const double wave = std::sin(phase) + timbre.overtone2 * std::sin(2 * phase) +
                          timbre.overtone3 * std::sin(3 * phase);
      mix[first + i] += n.gain * envelope * wave;
    }
  }
  double loudest = 0;
  for (double v : mix) loudest = std::max(loudest, std::abs(v));
  std::vector<int16_t> samples(count);
  const double scale = loudest > 0 ? peak * 32767.0 / loudest : 0;
  for (int i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(std::lround(mix[i] * scale));
  return samples;
}

}  // namespace

std::vector<int16_t> SynthesiseDoneChime() {
  // G5 then C6: an upward fourth, bell-like.
  const std::vector<Note> notes = {{783.99, 0.0, 0.34, 0.8}, {1046.50, 0.14, 0.56, 1.0}};
  return Render(notes, Timbre{0.28, 0.08, 0.22}, 0.72, 0.6);
}

std::vector<int16_t> SynthesiseFailChime() {
  // D4 then A3: a gentle downward fourth, rounder and lower.
  const std::vector<Note> notes = {{293.66, 0.0, 0.32, 1.0}, {220.00, 0.18, 0.6, 1.0}};
  return Render(notes, Timbre{0.15, 0.03, 0.3}, 0.8, 0.6);
}

}  // namespace skin
