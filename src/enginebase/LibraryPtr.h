#pragma once
// Owning pointers for the codec library's objects, each with its matching free call.

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace engine {

struct FormatContextCloser {
  void operator()(AVFormatContext* c) const {
    // A context that was opened must be closed as an input; one that never opened is freed.
    if (c && c->iformat)
      avformat_close_input(&c);
    else
      avformat_free_context(c);
  }
};
struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsContextFree {
  void operator()(SwsContext* c) const { sws_freeContext(c); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFree>;

}  // namespace engine
