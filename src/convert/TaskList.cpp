#include "convert/TaskList.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>

#include "appcore/TimeText.h"
#include "decoder/FFDecoder.h"
#include "decoder/Thumbnail.h"

namespace convert {
namespace {

constexpr const char* kColumnNames[kTaskColumnCount] = {
    "MainImage",    "FileMinName",  "Duration",     "Bitrate",       "Dimension",
    "FileFullName", "FileSize",     "VideoEncoder", "AudioChannels", "AudioSampleRate",
    "AudioBitrate", "AudioEncoder", "FrameRate",    "RealDuration",  "Width",
    "Height",       "AspectRatio"};

std::string FloatText(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// Index just past the UTF-8 character that starts at or before `end`, walking back from
// `end` to a character start.
size_t CharacterStart(const std::string& text, size_t end) {
  while (end > 0 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  return end;
}

}  // namespace

const char* TaskColumnName(int column) {
  return column >= 0 && column < kTaskColumnCount ? kColumnNames[column] : "";
}

engine::TBitmap FitBitmap(const engine::TBitmap& source, int maxWidth, int maxHeight) {
  if (source.BitsPerPixel != 24 && source.BitsPerPixel != 32) return {};
  if (source.Empty() || (source.Width <= maxWidth && source.Height <= maxHeight)) return source;
  // The larger shrink of the two sides decides; each side stays at least one pixel.
  const double scale = std::min(static_cast<double>(maxWidth) / source.Width,
                                static_cast<double>(maxHeight) / source.Height);
  const int width = std::clamp(static_cast<int>(source.Width * scale + 0.5), 1, maxWidth);
  const int height = std::clamp(static_cast<int>(source.Height * scale + 0.5), 1, maxHeight);
  engine::TBitmap target;
  target.BitsPerPixel = source.BitsPerPixel;
  target.Resize(width, height);
  const int bytes = source.BitsPerPixel / 8;
  // Each target pixel is the average of the source pixels its area covers.
  for (int y = 0; y < height; ++y) {
    const int y0 = static_cast<int>(static_cast<int64_t>(y) * source.Height / height);
    const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<int64_t>(y + 1) * source.Height / height));
    uint8_t* out = target.Row(y);
    for (int x = 0; x < width; ++x) {
      const int x0 = static_cast<int>(static_cast<int64_t>(x) * source.Width / width);
      const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<int64_t>(x + 1) * source.Width / width));
      uint32_t sum[4] = {0, 0, 0, 0};
      for (int sy = y0; sy < y1; ++sy) {
        const uint8_t* in = source.Row(sy) + x0 * bytes;
        for (int sx = x0; sx < x1; ++sx, in += bytes) {
          for (int c = 0; c < bytes; ++c) sum[c] += in[c];
        }
      }
      const uint32_t count = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
      for (int c = 0; c < bytes; ++c) out[x * bytes + c] = static_cast<uint8_t>(sum[c] / count);
    }
  }
  return target;
}

ProbeOutcome ProbeTaskFile(engine::TFFDecoder& decoder, const std::string& path) {
  ProbeOutcome outcome;
  outcome.Facts.Path = path;
  if (!decoder.LoadFile(path)) {
    outcome.Error = decoder.LastErrorMessage();
    return outcome;
  }
  outcome.Opened = true;
  TaskFacts& facts = outcome.Facts;
  facts.FileSize = decoder.FileSize();
  decoder.GetFileStreamInfo(facts.File);
  // Only streams the file has are asked for, so that probing logs no error for the others.
  facts.HasAudio = decoder.FirstAudioStream() >= 0;
  if (facts.HasAudio) decoder.GetAudioStreamInfo(-1, facts.Audio);
  facts.HasVideo = decoder.FirstVideoStream() >= 0;
  if (facts.HasVideo) {
    decoder.GetVideoStreamInfo(-1, facts.Video);
    engine::TBitmap picture;
    // A file whose video cannot be decoded is still added, without a thumbnail.
    if (engine::GrabThumbnail(decoder, picture))
      facts.Thumbnail = FitBitmap(picture, kThumbnailWidth, kThumbnailHeight);
  }
  decoder.CloseFile();
  return outcome;
}

std::string BitRateText(int64_t bitRate) {
  if (bitRate < 1) return "比特率不是当前";
  return std::to_string(bitRate / 1000) + " Kbps";
}

std::array<std::string, kTaskColumnCount> TaskTexts(const TaskFacts& f) {
  std::array<std::string, kTaskColumnCount> t;
  t[kColumnFileMinName] = f.Path;
  const int64_t duration = f.File.Duration;
  t[kColumnDuration] =
      std::string("持续时间:") + (duration < 0 ? "持续时间不是当前" : app::FormatMicroseconds(duration));
  if (f.HasVideo) {
    t[kColumnBitrate] = "比特率:" + BitRateText(f.Video.BitRate);
    t[kColumnDimension] =
        "尺寸:" + std::to_string(f.Video.Width) + " x " + std::to_string(f.Video.Height);
  } else {
    t[kColumnBitrate] = "音频比特率:" + BitRateText(f.Audio.BitRate);
    t[kColumnDimension] = "音频编码器:" + f.Audio.CodecName;
  }
  t[kColumnFileFullName] = f.Path;
  // The size in bytes, although the unit reads "M"; no one reads this column.
  t[kColumnFileSize] = "文件大小:" + std::to_string(f.FileSize) + " M";
  t[kColumnVideoEncoder] = "视频编码器:" + f.Video.CodecName;
  t[kColumnAudioChannels] = "声道:" + std::to_string(f.Audio.Channels);
  t[kColumnAudioSampleRate] = "采样率:" + std::to_string(f.Audio.SampleRate) + " Hz";
  t[kColumnAudioBitrate] = "比特率:" + BitRateText(f.Audio.BitRate);
  t[kColumnAudioEncoder] = "音频编码器:" + f.Audio.CodecName;
  // Without a video stream there is no rate: 0, not the quotient of the two -1 markers.
  const double rate = f.Video.FrameRateNum > 0 && f.Video.FrameRateDen > 0
                          ? static_cast<double>(f.Video.FrameRateNum) / f.Video.FrameRateDen
                          : 0.0;
  char frameRate[64];
  std::snprintf(frameRate, sizeof frameRate, "帧速率: %.2f", rate);
  t[kColumnFrameRate] = frameRate;
  t[kColumnRealDuration] = std::to_string(duration < 0 ? 0 : duration);
  t[kColumnWidth] = std::to_string(f.Video.Width);
  t[kColumnHeight] = std::to_string(f.Video.Height);
  t[kColumnAspectRatio] = FloatText(f.Video.AspectRatio);
  return t;
}

std::string MinimizeName(const std::string& path, int maxWidth,
                         const std::function<int(const std::string&)>& width) {
  if (width(path) <= maxWidth) return path;
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (slash != std::string::npos) {
    // The folders after the root, each with its separator; "/" stays in front.
    const bool rooted = !path.empty() && path[0] == '/';
    std::vector<std::string> folders;
    size_t start = rooted ? 1 : 0;
    while (start < slash) {
      const size_t next = path.find('/', start);
      folders.push_back(path.substr(start, next - start + 1));
      start = next + 1;
    }
    const std::string root = rooted ? "/" : "";
    for (size_t drop = 1; drop <= folders.size(); ++drop) {
      std::string candidate = root + ".../";
      for (size_t i = drop; i < folders.size(); ++i) candidate += folders[i];
      candidate += name;
      if (width(candidate) <= maxWidth) return candidate;
    }
    if (width(".../" + name) <= maxWidth) return ".../" + name;
    if (width(name) <= maxWidth) return name;
  }
  // The name alone is too wide: cut its end.
  if (name.empty()) return "...";
  for (size_t keep = CharacterStart(name, name.size() - 1); keep > 0;
       keep = CharacterStart(name, keep - 1)) {
    const std::string candidate = name.substr(0, keep) + "...";
    if (width(candidate) <= maxWidth) return candidate;
  }
  return "...";
}

// ---------------------------------------------------------------------------------------

void TaskList::AddFiles(engine::TFFDecoder& decoder, const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  BeginAdd();
  for (const std::string& path : paths) AddProbed(ProbeTaskFile(decoder, path));
}

void TaskList::BeginAdd() { failed_.clear(); }

void TaskList::AddProbed(ProbeOutcome outcome) {
  if (!outcome.Opened) {
    if (OnLoadError) OnLoadError(outcome.Error);
    failed_.push_back(std::move(outcome.Error));
    return;
  }
  TaskRow row;
  row.Texts = TaskTexts(outcome.Facts);
  if (ShortenName) row.Texts[kColumnFileMinName] = ShortenName(outcome.Facts.Path);
  row.Facts = std::move(outcome.Facts);
  row.Id = nextId_++;
  const int index = Count();
  if (observer_) observer_->RowsAboutToBeInserted(index, index);
  rows_.push_back(std::move(row));
  if (observer_) observer_->RowsInserted();
}

int TaskList::Delete(int selected) {
  if (selected < 0 || selected >= Count()) return -1;
  if (observer_) observer_->RowsAboutToBeRemoved(selected, selected);
  rows_.erase(rows_.begin() + selected);
  if (observer_) observer_->RowsRemoved();
  return rows_.empty() ? -1 : std::min(selected, Count() - 1);
}

void TaskList::Clear() {
  if (rows_.empty()) return;
  if (observer_) observer_->RowsAboutToBeRemoved(0, Count() - 1);
  rows_.clear();
  if (observer_) observer_->RowsRemoved();
}

bool TaskList::Move(int from, int to) {
  if (from < 0 || from >= Count() || to < 0 || to >= Count()) return false;
  if (from == to) return true;
  if (observer_) observer_->RowAboutToBeMoved(from, to);
  TaskRow row = std::move(rows_[from]);
  rows_.erase(rows_.begin() + from);
  rows_.insert(rows_.begin() + to, std::move(row));
  if (observer_) observer_->RowMoved();
  return true;
}

int TaskList::MoveUp(int selected) {
  if (selected <= 0 || selected >= Count()) return selected < Count() ? selected : -1;
  Move(selected, selected - 1);
  return selected - 1;
}

int TaskList::MoveDown(int selected) {
  if (selected < 0 || selected >= Count() - 1) return selected < Count() ? selected : -1;
  Move(selected, selected + 1);
  return selected + 1;
}

TaskActionStates TaskList::ActionStates(int rowCount, int selected) {
  TaskActionStates s;
  const bool hasSelection = selected >= 0 && selected < rowCount;
  s.Delete = hasSelection;
  s.Play = hasSelection;
  s.Clear = rowCount > 0;
  s.MoveUp = hasSelection && selected > 0;
  s.MoveDown = hasSelection && selected < rowCount - 1;
  return s;
}

std::vector<TaskInput> TaskList::Inputs() const {
  std::vector<TaskInput> inputs;
  inputs.reserve(rows_.size());
  for (const TaskRow& row : rows_) {
    const TaskFacts& f = row.Facts;
    TaskInput in;
    in.FileFullName = f.Path;
    in.RealDuration = f.File.Duration < 0 ? 0 : f.File.Duration;
    in.Width = f.Video.Width;
    in.Height = f.Video.Height;
    in.AspectRatio = f.Video.AspectRatio;
    inputs.push_back(std::move(in));
  }
  return inputs;
}

std::vector<std::string> TaskList::FilePaths() const {
  std::vector<std::string> paths;
  paths.reserve(rows_.size());
  for (const TaskRow& row : rows_) paths.push_back(row.Facts.Path);
  return paths;
}

}  // namespace convert
