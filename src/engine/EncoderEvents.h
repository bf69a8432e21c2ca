#pragma once
// The records the encoder component hands to its event handlers. One instance of each
// lives in the component and is refilled for every event: handlers copy what they keep.

#include <cstdint>
#include <functional>
#include <string>

#include "enginebase/Bitmap.h"

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace engine {

class TCustomEncoder;
class TFFmpeg;

struct TProgressInfo {
  int32_t TaskIndex = 0;
  int32_t FileIndex = 0;    // input of the last packet read; -1 in a job's last report
  int32_t FrameNumber = 0;  // -1 without video output
  int32_t FPS = 0;          // -1 without video
  float Quality = 0.0f;     // -1 without video or when the video is copied
  float BitRate = 0.0f;     // kbit/s
  int64_t CurrentSize = 0;  // bytes of the first output so far
  int64_t CurrentDuration = 0;  // µs of output reached
  int64_t TotalDuration = 0;    // µs expected; -1 unknown
};
using PProgressInfo = TProgressInfo*;

// The percentage of a report, CurrentDuration × 100 / TotalDuration within 0 to 100, in
// double so that no timestamp, however corrupt, can overflow it; -1 when the total is
// unknown.
inline int ProgressPercent(int64_t currentDuration, int64_t totalDuration) {
  if (totalDuration <= 0) return -1;
  const double percent = static_cast<double>(currentDuration) * 100.0 /
                         static_cast<double>(totalDuration);
  if (!(percent > 0)) return 0;  // negative, or not a number
  return percent >= 100 ? 100 : static_cast<int>(percent);
}

struct TTerminateInfo {
  int32_t TaskIndex = 0;  // -1 in the final notification
  bool Finished = false;  // the job reached its end and no stop was asked
  bool Failed = false;    // an error ended the job
  std::string ErrorMessage;
};

struct THookInfo {
  int32_t TaskIndex = 0;
  TBitmap* Bitmap = nullptr;  // the frame as a bitmap; the handler may draw on it
  int32_t FrameNumber = 0;
  int64_t PTS = 0;          // µs
  bool Update = true;       // convert the bitmap back into the frame afterwards
  bool StopHook = false;    // unlink this hook for the rest of the run
};
using PHookInfo = THookInfo*;

struct TPreviewInfo {
  int32_t TaskIndex = 0;
  const TBitmap* Bitmap = nullptr;
  int32_t FrameNumber = 0;
  int64_t PTS = 0;  // µs
};

using TProgressEvent = std::function<void(TCustomEncoder& sender, PProgressInfo progressInfo)>;
using TTerminateEvent =
    std::function<void(TCustomEncoder& sender, const TTerminateInfo& terminateInfo)>;
using TAudioHookEvent =
    std::function<void(TCustomEncoder& sender, int32_t taskIndex, const int64_t pts,
                       uint8_t* sample, int32_t size, int32_t sampleRate, int32_t channels,
                       AVSampleFormat sampleFormat)>;
using TVideoHookEvent = std::function<void(TCustomEncoder& sender, PHookInfo hookInfo)>;
using TPreviewBitmapEvent =
    std::function<void(TCustomEncoder& sender, const TPreviewInfo& previewInfo)>;
// The sender is the job whose input is being opened.
using TBeforeFindStreamInfoEvent = std::function<void(TFFmpeg& sender, void* formatContext)>;

}  // namespace engine
