#include "enginebase/PtsCorrector.h"

namespace engine {

void PtsCorrector::Reset() {
  NumFaultyPts = NumFaultyDts = 0;
  LastPts = LastDts = kNoTimestamp;
}

int64_t PtsCorrector::Correct(int64_t pts, int64_t dts) {
  if (dts != kNoTimestamp) {
    if (dts <= LastDts) ++NumFaultyDts;
    LastDts = dts;
  }
  if (pts != kNoTimestamp) {
    if (pts <= LastPts) ++NumFaultyPts;
    LastPts = pts;
  }
  if (NumFaultyDts < NumFaultyPts && dts != kNoTimestamp) return dts;
  if (pts != kNoTimestamp) return pts;
  return dts;
}

}  // namespace engine
