#include "engine/CustomFFmpeg.h"

#include "engine/TranscodeState.h"

#include "engine/ConvertThread.h"

#include <mutex>

#include "enginebase/FFmpegException.h"
#include "log/FFLogger.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace engine {
namespace {

std::mutex lastOptionErrorMutex;
std::string lastOptionErrorText;

constexpr AVMediaType kKindMediaTypes[okKindCount] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO,
                                                      AVMEDIA_TYPE_DATA, AVMEDIA_TYPE_SUBTITLE,
                                                      AVMEDIA_TYPE_ATTACHMENT};

}  // namespace

std::string LastOptionError() {
  std::lock_guard<std::mutex> lock(lastOptionErrorMutex);
  return lastOptionErrorText;
}

void SetLastOptionError(const std::string& text) {
  std::lock_guard<std::mutex> lock(lastOptionErrorMutex);
  lastOptionErrorText = text;
}

TCustomFFmpeg::TCustomFFmpeg() {
  for (int kind = 0; kind < okKindCount; ++kind) {
    codecOptions_[kind].reset(avcodec_alloc_context3(nullptr));
    if (!codecOptions_[kind]) throw FFmpegException("Out of memory");
    codecOptions_[kind]->codec_type = kKindMediaTypes[kind];
  }
  formatOptions_.reset(avformat_alloc_context());
  scalerOptions_.reset(sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P,
                                      ScalerFlags, nullptr, nullptr, nullptr));
  if (!formatOptions_ || !scalerOptions_) throw FFmpegException("Out of memory");
}

TCustomFFmpeg::~TCustomFFmpeg() {
  // A running job is stopped and waited for (its worker and terminate threads are joined)
  // before anything it uses goes away.
  try {
    RequestStop(true);
  } catch (const std::exception& e) {
    Log(llQuiet, e.what());
  }
  JoinJobThreads(this);
  try {
    Cleanup();
  } catch (const std::exception& e) {
    Log(llQuiet, e.what());
  }
  av_dict_free(&Metadata);
}

void TCustomFFmpeg::Log(int level, const std::string& text) const {
  DefaultLogger().Log(this, static_cast<TLogLevel>(level), text);
}

}  // namespace engine
