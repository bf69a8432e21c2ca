#pragma once
// The figures a transfer reports with each block.

#include <cstdint>

namespace http {

struct ProgressFigures {
  uint8_t PercentsDone = 0;
  uint32_t ElapsedTime = 0;       // seconds, including the time spent connecting
  int32_t EstimatedTimeLeft = 0;  // seconds, 0 and up; -ElapsedTime when no length was announced
  float TransferRate = -1.0f;     // KB/s; within the first second the KB read so far
};

// startPos: where the transfer started in the resource; dataSize: the announced length of
// the rest (0 when unknown); bytesRead: received so far in this transfer; elapsedMs:
// milliseconds since the transfer began. Rounding is to the nearest, halves to even.
ProgressFigures ComputeProgress(int64_t startPos, int64_t dataSize, int64_t bytesRead,
                                uint32_t elapsedMs);

}  // namespace http
