#pragma once
// The two notification sounds, synthesised: a bright rising chime when a batch is done and
// a soft falling pair of low notes when something failed.

#include <cstdint>
#include <vector>

namespace skin {

constexpr int kSoundSampleRate = 44100;

std::vector<int16_t> SynthesiseDoneChime();
std::vector<int16_t> SynthesiseFailChime();

}  // namespace skin
