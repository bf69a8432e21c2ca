#include "decoder/ProbeJson.h"

#include <cmath>
#include <cstdio>

#include "enginebase/EngineText.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace engine {
namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one.
size_t utf8Length(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  size_t length;
  unsigned minimum;
  unsigned value;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0)
    length = 2, minimum = 0x80, value = c & 0x1F;
  else if ((c & 0xF0) == 0xE0)
    length = 3, minimum = 0x800, value = c & 0x0F;
  else if ((c & 0xF8) == 0xF0)
    length = 4, minimum = 0x10000, value = c & 0x07;
  else
    return 0;
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

class ObjectWriter {
 public:
  explicit ObjectWriter(std::string& out) : out_(out) { out_ += '{'; }
  ~ObjectWriter() { out_ += '}'; }
  void text(const char* key, const std::string& value) { raw(key, JsonString(value)); }
  void number(const char* key, long long value) { raw(key, std::to_string(value)); }
  void real(const char* key, double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", std::isfinite(value) ? value : -1.0);
    raw(key, text);
  }
  void raw(const char* key, const std::string& value) {
    if (!first_) out_ += ',';
    first_ = false;
    out_ += JsonString(key);
    out_ += ':';
    out_ += value;
  }

 private:
  std::string& out_;
  bool first_ = true;
};

template <typename Info>
void writeCommon(ObjectWriter& w, const Info& info) {
  w.text("Language", info.Language);
  w.text("CodecName", info.CodecName);
  w.number("StartTimeTicks", info.StartTimeTicks);
  w.number("StartTime", info.StartTime);
  w.number("DurationTicks", info.DurationTicks);
  w.number("Duration", info.Duration);
  w.number("BitRate", info.BitRate);
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = utf8Length(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text, i, length);
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
    i += length;
  }
  return out + "\"";
}

std::string ProbeJson(TCustomDecoder& decoder) {
  std::string out;
  {
    ObjectWriter file(out);
    file.text("File", decoder.FileName());
    file.text("Format", decoder.FormatName());
    file.number("FileSize", decoder.FileSize());
    TFileStreamInfo info;
    decoder.GetFileStreamInfo(info);
    file.number("StartTime", info.StartTime);
    file.number("Duration", info.Duration);
    file.number("BitRate", info.BitRate);
    file.number("Timestamp", info.Timestamp);
    file.number("Year", info.Year);
    file.number("Track", info.Track);
    file.text("Title", info.Title);
    file.text("Author", info.Author);
    file.text("Copyright", info.Copyright);
    file.text("Comment", info.Comment);
    file.text("Album", info.Album);
    file.text("Genre", info.Genre);
    file.number("StreamCount", decoder.StreamCount());
    file.number("ProgramCount", decoder.ProgramCount());
    std::string streams = "[";
    for (int i = 0; i < decoder.StreamCount(); ++i) {
      if (i > 0) streams += ',';
      ObjectWriter s(streams);
      s.number("Index", i);
      const int type = decoder.Context()->streams[i]->codecpar->codec_type;
      s.text("Kind", MediaTypeName(type));
      if (type == AVMEDIA_TYPE_VIDEO) {
        TVideoStreamInfo v;
        decoder.GetVideoStreamInfo(i, v);
        writeCommon(s, v);
        s.number("Width", v.Width);
        s.number("Height", v.Height);
        s.real("AspectRatio", v.AspectRatio);
        s.number("PixelFormat", v.PixelFormat);
        s.number("FrameRateNum", v.FrameRateNum);
        s.number("FrameRateDen", v.FrameRateDen);
      } else if (type == AVMEDIA_TYPE_AUDIO) {
        TAudioStreamInfo a;
        decoder.GetAudioStreamInfo(i, a);
        writeCommon(s, a);
        s.number("Channels", a.Channels);
        s.number("SampleRate", a.SampleRate);
        s.number("SampleFormat", a.SampleFormat);
      }
    }
    streams += ']';
    file.raw("Streams", streams);
  }
  return out;
}

}  // namespace engine
