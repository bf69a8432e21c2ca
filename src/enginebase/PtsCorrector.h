#pragma once
// Picks the more trustworthy of a decoded frame's presentation and decoding timestamps by
// counting how often each went backwards.

#include <cstdint>

#include "enginebase/EngineText.h"

namespace engine {

struct PtsCorrector {
  int64_t NumFaultyPts = 0;
  int64_t NumFaultyDts = 0;
  int64_t LastPts = kNoTimestamp;
  int64_t LastDts = kNoTimestamp;

  void Reset();
  int64_t Correct(int64_t pts, int64_t dts);
};

}  // namespace engine
