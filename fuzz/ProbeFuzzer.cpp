// Feeds arbitrary bytes to the decoder as a file: open, describe (the probe line), seek to
// the middle, decode a few pictures and grab one as a bitmap. Any crash, leak or undefined
// behaviour is a finding. The first byte picks the file name's extension, since some
// formats are recognised by it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/MainThread.h"
#include "decoder/FFDecoder.h"
#include "decoder/ProbeJson.h"
#include "enginebase/LibraryBinding.h"
#include "log/FFLogger.h"

namespace {

const char* const kExtensions[] = {".mp4", ".mkv", ".mp3", ".h264", ".wav", ".avi",
                                   ".flv", ".ts",  ".ogg", ".png",  ".bin"};

bool setUp() {
  core::MainThread::SetCurrentAsMain();
  engine::DefaultLogger().SetLogLevel(engine::llQuiet);
  return engine::LoadEngineLibraries("lib");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = setUp();
  if (!ready || size < 1) return 0;
  const size_t pick = data[0] % (sizeof kExtensions / sizeof kExtensions[0]);
  const std::string path = "/tmp/wizconv-fuzz-" + std::to_string(getpid()) + kExtensions[pick];
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);
  } else {
    return 0;
  }
  {
    engine::TFFDecoder decoder;
    if (decoder.LoadFile(path)) {
      engine::ProbeJson(decoder);
      engine::TFileStreamInfo info;
      decoder.GetFileStreamInfo(info);
      if (info.Duration > 0) decoder.Seek(0, info.Duration / 2);
      for (int i = 0; i < 3 && decoder.DecodeVideoFrame(decoder.FirstVideoStream()); ++i) {
      }
      engine::TBitmap bitmap;
      if (decoder.PictureReady()) decoder.PictureToBitmap(bitmap);
      decoder.Seek(0, 0);
      decoder.DecodeVideoFrame(-1);
    }
  }
  std::remove(path.c_str());
  return 0;
}
