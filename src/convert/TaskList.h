#pragma once
// The files chosen for conversion, in conversion order: one row per file with what the
// decoder found out about it, a small thumbnail and the texts step 1's grid shows. Adding
// probes each file; a file that cannot be opened is not added and its reason goes to the
// failed-file list. Plain C++ (no widgets): the grid only shows it.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decoder/StreamInfo.h"
#include "enginebase/Bitmap.h"

namespace engine {
class TFFDecoder;
}

namespace convert {

// The grid's columns in position order. The first five are shown on the slide, the rest
// are data only.
enum TaskColumn {
  kColumnMainImage,
  kColumnFileMinName,
  kColumnDuration,
  kColumnBitrate,
  kColumnDimension,
  kColumnFileFullName,
  kColumnFileSize,
  kColumnVideoEncoder,
  kColumnAudioChannels,
  kColumnAudioSampleRate,
  kColumnAudioBitrate,
  kColumnAudioEncoder,
  kColumnFrameRate,
  kColumnRealDuration,
  kColumnWidth,
  kColumnHeight,
  kColumnAspectRatio,
  kTaskColumnCount
};

// The column's name ("MainImage", "FileMinName", ...).
const char* TaskColumnName(int column);

// The area the thumbnail is shown in; stored thumbnails are no larger.
constexpr int kThumbnailWidth = 128;
constexpr int kThumbnailHeight = 88;

// What probing found out about one file.
struct TaskFacts {
  std::string Path;
  int64_t FileSize = -1;
  engine::TFileStreamInfo File;
  bool HasVideo = false;
  bool HasAudio = false;
  engine::TVideoStreamInfo Video;  // all -1 without a video stream
  engine::TAudioStreamInfo Audio;  // all -1 without an audio stream
  // The picture from half the duration (the start when there is none), scaled down to fit
  // the thumbnail area. Empty for a file without video or whose video cannot be decoded.
  engine::TBitmap Thumbnail;
};

// The result of probing one path: the facts, or the decoder's reason.
struct ProbeOutcome {
  bool Opened = false;
  TaskFacts Facts;
  std::string Error;
};

// Opens the file with the decoder, reads its facts and thumbnail and closes it again.
// Throws what LoadFile throws (the codec libraries are not loaded).
ProbeOutcome ProbeTaskFile(engine::TFFDecoder& decoder, const std::string& path);

// The bitmap scaled down (by averaging) to fit maxWidth x maxHeight with its proportions
// kept; a bitmap that already fits is returned as it is. 24 and 32 bits only; another depth
// gives an empty bitmap.
engine::TBitmap FitBitmap(const engine::TBitmap& bitmap, int maxWidth, int maxHeight);

// The texts of the grid's cells ("" for the image column).
std::array<std::string, kTaskColumnCount> TaskTexts(const TaskFacts& facts);
// "%d Kbps" of the bit rate div 1000, or "比特率不是当前" below 1 bit/s.
std::string BitRateText(int64_t bitRate);

// What the option builder reads of one row.
struct TaskInput {
  std::string FileFullName;
  int64_t RealDuration = 0;  // microseconds, 0 when the file has none
  int Width = -1;
  int Height = -1;
  float AspectRatio = -1.0f;
};

// Which of the row actions can be used.
struct TaskActionStates {
  bool Delete = false;
  bool Clear = false;
  bool MoveUp = false;
  bool MoveDown = false;
  bool Play = false;
};

// Told before and after each change of the rows, so that a view can follow.
class TaskListObserver {
 public:
  virtual ~TaskListObserver() = default;
  virtual void RowsAboutToBeInserted(int first, int last) = 0;
  virtual void RowsInserted() = 0;
  virtual void RowsAboutToBeRemoved(int first, int last) = 0;
  virtual void RowsRemoved() = 0;
  // The row `from` goes to index `to` (indices after the move).
  virtual void RowAboutToBeMoved(int from, int to) = 0;
  virtual void RowMoved() = 0;
};

struct TaskRow {
  TaskFacts Facts;
  std::array<std::string, kTaskColumnCount> Texts;
  uint64_t Id = 0;  // unique in the list's life
};

class TaskList {
 public:
  int Count() const { return static_cast<int>(rows_.size()); }
  bool Empty() const { return rows_.empty(); }
  const TaskRow& Row(int index) const { return rows_.at(index); }
  const std::string& Text(int row, int column) const { return rows_.at(row).Texts.at(column); }
  // The shortened name shown in column 1; the full path without a shortener.
  std::function<std::string(const std::string& path)> ShortenName;

  // Probes each path in order with the decoder and adds a row for each that opens;
  // the failed-file list is emptied first and then holds the reasons of the others.
  // Every failure also goes to OnLoadError. Nothing for an empty list.
  void AddFiles(engine::TFFDecoder& decoder, const std::vector<std::string>& paths);
  // The parts of AddFiles, for adding from probes made elsewhere (another thread).
  void BeginAdd();
  void AddProbed(ProbeOutcome outcome);
  const std::vector<std::string>& FailedFiles() const { return failed_; }
  // A failure of one file, with the decoder's text.
  std::function<void(const std::string& reason)> OnLoadError;

  // Each returns the row selected afterwards (-1: none); `selected` -1 is no selection.
  // Delete: the row at the same index, or the last row; none when the list is empty.
  int Delete(int selected);
  void Clear();
  int MoveUp(int selected);
  int MoveDown(int selected);
  // Moves the row `from` to index `to` (as the drag with the mouse does). False when
  // either index is out of range.
  bool Move(int from, int to);

  static TaskActionStates ActionStates(int rowCount, int selected);
  TaskActionStates ActionStates(int selected) const { return ActionStates(Count(), selected); }

  // For the builder, top to bottom.
  std::vector<TaskInput> Inputs() const;
  std::vector<std::string> FilePaths() const;

  void SetObserver(TaskListObserver* observer) { observer_ = observer; }

 private:
  std::vector<TaskRow> rows_;
  std::vector<std::string> failed_;
  uint64_t nextId_ = 1;
  TaskListObserver* observer_ = nullptr;
};

}  // namespace convert

namespace convert {

// The path shortened until `width` of it is at most maxWidth: leading folders give way to
// an ellipsis one at a time ("/home/a/b/c.mp4" -> "/.../b/c.mp4" -> "/.../c.mp4" ->
// ".../c.mp4" -> "c.mp4"), then the end of the name gives way to one ("c..."). Cuts only
// between UTF-8 characters.
std::string MinimizeName(const std::string& path, int maxWidth,
                         const std::function<int(const std::string&)>& width);

}  // namespace convert
