// The vcd, svcd, dvd and dv targets: a whole set of options for a disc or tape format, with
// the television norm taken from the frame rate or the inputs when not given.

#include <cmath>

#include "engine/CustomFFmpeg.h"
#include "enginebase/FFmpegException.h"
#include "log/FFLogger.h"

namespace engine {
namespace {

// The norm a frame rate (times 1000) belongs to, or Auto when it is no norm's rate.
TTargetNorm NormOfRate(int64_t rateTimes1000) {
  if (rateTimes1000 == 25000) return TTargetNorm::Pal;
  if (rateTimes1000 == 29970 || rateTimes1000 == 23976) return TTargetNorm::Ntsc;
  return TTargetNorm::Auto;
}

int64_t RateTimes1000(AVRational rate) {
  if (rate.num <= 0 || rate.den <= 0) return 0;
  return std::llround(rate.num * 1000.0 / rate.den);
}

}  // namespace

TTargetNorm TCustomFFmpeg::DetectNorm(TTargetNorm fallbackNorm) const {
  // No frame rate given yet (denominator 0) is not an error: the inputs or the fallback
  // decide then.
  if (FrameRate.den != 0) {
    if (TTargetNorm norm = NormOfRate(RateTimes1000(FrameRate)); norm != TTargetNorm::Auto)
      return norm;
  }
  for (const auto& input : InputFiles) {
    if (!input) continue;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
      const AVStream* stream = input->streams[i];
      if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      AVRational rate = stream->avg_frame_rate.den ? stream->avg_frame_rate : stream->r_frame_rate;
      if (TTargetNorm norm = NormOfRate(RateTimes1000(rate)); norm != TTargetNorm::Auto)
        return norm;
    }
  }
  if (fallbackNorm == TTargetNorm::Film || fallbackNorm == TTargetNorm::Ntsc) return fallbackNorm;
  return TTargetNorm::Pal;
}

void TCustomFFmpeg::ApplyTarget(const std::string& type, TTargetNorm norm,
                                TTargetNorm fallbackNorm) {
  if (type != "vcd" && type != "svcd" && type != "dvd" && type != "dv" && type != "dv50")
    throw FFmpegException("Unknown target type");
  if (norm == TTargetNorm::Auto) {
    norm = DetectNorm(fallbackNorm);
    if (Verbose > 0)
      DefaultLogger().Log(
          this, llVerbose,
          std::string("Assuming ") + (norm == TTargetNorm::Pal ? "PAL" : "NTSC") + " for target.");
  }
  const bool pal = norm == TTargetNorm::Pal;
  const std::string rate = pal ? "25" : norm == TTargetNorm::Ntsc ? "30000/1001" : "24000/1001";
  const std::string gop = pal ? "15" : "18";
  if (type == "vcd") {
    SetOption("vcodec", "mpeg1video");
    SetOption("acodec", "mp2");
    SetOption("f", "vcd");
    SetOption("s", pal ? "352x288" : "352x240");
    SetOption("r", rate);
    SetOption("g", gop);
    SetOption("b", "1150000");
    SetOption("maxrate", "1150000");
    SetOption("minrate", "1150000");
    SetOption("bufsize", "327680");
    SetOption("ab", "224000");
    AudioSampleRate = 44100;
    AudioChannels = 2;
    SetOption("packetsize", "2324");
    SetOption("muxrate", "1411200");
    MuxPreload = 0.44;
  } else if (type == "svcd") {
    SetOption("vcodec", "mpeg2video");
    SetOption("acodec", "mp2");
    SetOption("f", "svcd");
    SetOption("s", pal ? "480x576" : "480x480");
    SetOption("r", rate);
    SetOption("g", gop);
    SetOption("b", "2040000");
    SetOption("maxrate", "2516000");
    SetOption("minrate", "0");
    SetOption("bufsize", "1835008");
    // The scan offset flag of the old libraries is an option of the MPEG-2 encoder now.
    SetOption("scan_offset", "1");
    SetOption("ab", "224000");
    AudioSampleRate = 44100;
    SetOption("packetsize", "2324");
    if (AudioChannels == 1) AudioChannels = 2;
  } else if (type == "dvd") {
    SetOption("vcodec", "mpeg2video");
    SetOption("acodec", "ac3");
    SetOption("f", "dvd");
    SetOption("s", pal ? "720x576" : "720x480");
    SetOption("r", rate);
    SetOption("g", gop);
    SetOption("b", "6000000");
    SetOption("maxrate", "9000000");
    SetOption("minrate", "0");
    SetOption("bufsize", "1835008");
    SetOption("packetsize", "2048");
    SetOption("muxrate", "10080000");
    SetOption("ab", "448000");
    AudioSampleRate = 48000;
    if (AudioChannels == 1) AudioChannels = 2;
  } else {
    SetOption("f", "dv");
    SetOption("s", pal ? "720x576" : "720x480");
    SetOption("pix_fmt", type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
    SetOption("r", rate);
    AudioSampleRate = 48000;
    AudioChannels = 2;
  }
  if (FrameAspectRatio == 0.0 && type != "dv" && type != "dv50") {
    const bool wide = type == "dvd";
    DefaultLogger().Log(this, llInfo,
                        wide ? "Assuming 16:9 for aspect ratio" : "Assuming 4:3 for aspect ratio");
    SetOption("aspect", wide ? "16:9" : "4:3");
  }
}

void ApplyTarget(TCustomFFmpeg& job, const TOutputOptions& options) {
  static const char* const kTypes[] = {"", "vcd", "svcd", "dvd"};
  if (options.Target < 1 || options.Target > 3) return;
  const TTargetNorm norm = options.TargetNorm == 1   ? TTargetNorm::Pal
                           : options.TargetNorm == 2 ? TTargetNorm::Ntsc
                                                     : TTargetNorm::Auto;
  const TTargetNorm fallback =
      options.TargetFallbackNorm == 1 ? TTargetNorm::Pal : TTargetNorm::Ntsc;
  job.ApplyTarget(kTypes[options.Target], norm, fallback);
}

}  // namespace engine
