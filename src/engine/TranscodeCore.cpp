// PROVISIONAL: replaced by the transcode core, which is being written now.
#include "engine/CustomFFmpeg.h"
#include "engine/TranscodeState.h"
#include "engine/base/FFmpegException.h"

namespace engine {
namespace {
TPreviewWindowFactory previewFactory;
}
void SetPreviewWindowFactory(TPreviewWindowFactory factory) { previewFactory = std::move(factory); }
TPreviewWindowFactory PreviewWindowFactory() { return previewFactory; }
void TCustomFFmpeg::Transcode() { throw FFmpegException("transcode core not built yet"); }
void TCustomFFmpeg::JoinSetup() {}
void TCustomFFmpeg::ReleaseRunState() { Run.reset(); }
}  // namespace engine
