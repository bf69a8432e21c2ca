#include "decoder/Thumbnail.h"

namespace engine {

bool GrabThumbnail(TFFDecoder& decoder, TBitmap& bitmap, int64_t at) {
  const int video = decoder.FirstVideoStream();
  if (video < 0) {
    TVideoStreamInfo unused;
    decoder.GetVideoStreamInfo(-1, unused);  // says "no video stream."
    return false;
  }
  if (at < 0) {
    TFileStreamInfo info;
    decoder.GetFileStreamInfo(info);
    at = info.Duration > 0 ? info.Duration / 2 : 0;
  }
  // The seek goes to the first key picture at or after the time. Behind the last key
  // picture there is none: then the one before the time is taken, so that a short clip
  // with a single key picture still gets its thumbnail.
  if (decoder.Seek(0, at) && decoder.DecodeVideoFrame(video))
    return decoder.PictureToBitmap(bitmap);
  if (!decoder.Seek(TFFDecoder::kSeekBackward, at)) decoder.Seek(0, 0);
  if (!decoder.DecodeVideoFrame(video)) return false;
  return decoder.PictureToBitmap(bitmap);
}

}  // namespace engine
