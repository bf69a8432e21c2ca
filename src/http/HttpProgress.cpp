#include "http/HttpProgress.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace http {
namespace {
double roundHalfEven(double v) {
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double r = std::nearbyint(v);
  std::fesetround(saved);
  return r;
}
}  // namespace

ProgressFigures ComputeProgress(int64_t startPos, int64_t dataSize, int64_t bytesRead,
                                uint32_t elapsedMs) {
  ProgressFigures f;
  const double whole = static_cast<double>(startPos + dataSize);
  if (whole > 0) {
    // A body longer than announced must not show more than complete.
    const double percent = roundHalfEven(static_cast<double>(startPos + bytesRead) * 100.0 / whole);
    f.PercentsDone = static_cast<uint8_t>(std::clamp(percent, 0.0, 100.0));
  }
  f.ElapsedTime = elapsedMs / 1000;
  const double elapsed = static_cast<double>(f.ElapsedTime);
  if (bytesRead > 0 && dataSize > 0) {
    // Never below 0 (more arrived than announced) nor past the largest figure (a huge
    // announced length).
    const double left =
        roundHalfEven(static_cast<double>(dataSize) / static_cast<double>(bytesRead) * elapsed) -
        elapsed;
    f.EstimatedTimeLeft = static_cast<int32_t>(std::clamp(left, 0.0, 2147483647.0));
  } else {
    f.EstimatedTimeLeft = -static_cast<int32_t>(f.ElapsedTime);
  }
  double rate = static_cast<double>(bytesRead) / 1024.0;
  if (f.ElapsedTime != 0) rate /= elapsed;
  f.TransferRate = static_cast<float>(rate);
  return f;
}

}  // namespace http
