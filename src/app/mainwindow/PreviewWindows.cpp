#include "app/mainwindow/PreviewWindows.h"

#include <memory>

#include "decoder/preview/Previewer.h"
#include "engine/CustomFFmpeg.h"

namespace app {
namespace {

class JobPreview : public engine::IPreviewWindow {
 public:
  bool Show(const engine::TBitmap& bitmap, int frameNumber, int64_t pts) override {
    return previewer_.ShowFrame(bitmap, frameNumber, pts);
  }

 private:
  preview::TPreviewer previewer_;
};

}  // namespace

void InstallPreviewWindows() {
  engine::SetPreviewWindowFactory([] { return std::make_unique<JobPreview>(); });
}

void RemovePreviewWindows() { engine::SetPreviewWindowFactory(nullptr); }

}  // namespace app
