#pragma once
// Opens a media file only to describe it: container times, bit rate and metadata, and per
// stream the codec and its audio or video parameters. An attached decoder describes a
// context opened elsewhere and never closes it.
//
// Failures go to the engine logger with the decoder as sender and become
// LastErrorMessage(); the calls return false or -1 records. Opening without the engine
// libraries loaded throws FFmpegException.

#include <atomic>
#include <cstdint>
#include <string>

#include "decoder/StreamInfo.h"
#include "log/LogLevel.h"

struct AVFormatContext;
struct AVStream;

namespace engine {

class TCustomDecoder {
 public:
  TCustomDecoder() = default;
  virtual ~TCustomDecoder();
  TCustomDecoder(const TCustomDecoder&) = delete;
  TCustomDecoder& operator=(const TCustomDecoder&) = delete;

  // formatName forces a container format ("" detects it).
  bool LoadFile(const std::string& fileName, const std::string& formatName = "");
  void Attach(AVFormatContext* context);
  virtual void CloseFile();

  // The open file's name; "" and "file not loaded." in LastErrorMessage without one.
  std::string FileName();
  // A negative index means the first stream of that kind. False when nothing was filled.
  bool GetFileStreamInfo(TFileStreamInfo& info);
  bool GetAudioStreamInfo(int index, TAudioStreamInfo& info);
  bool GetVideoStreamInfo(int index, TVideoStreamInfo& info);

  const std::string& LastErrorMessage() const { return lastErrorMessage_; }
  const std::string& ForcedFormat() const { return forcedFormat_; }
  // The container's short name ("mov,mp4,m4a,3gp,3g2,mj2", "wav", ...); "" without a file.
  std::string FormatName() const;
  bool IsOpen() const { return context_ != nullptr; }
  bool OwnsFile() const { return owned_; }
  AVFormatContext* Context() const { return context_; }

  int64_t FileSize() const { return fileSize_; }
  int StreamCount() const { return streamCount_; }
  int ProgramCount() const { return programCount_; }
  int AudioStreamCount() const { return audioStreamCount_; }
  int VideoStreamCount() const { return videoStreamCount_; }
  int SubtitleStreamCount() const { return subtitleStreamCount_; }
  int FirstAudioStream() const { return firstAudioStream_; }
  int FirstVideoStream() const { return firstVideoStream_; }
  int FirstSubtitleStream() const { return firstSubtitleStream_; }

  std::string About;

  // A blocking call (opening, seeking, reading) gives up when StopRequested is set (from
  // any thread, or a signal handler: the caller clears it) or when it has waited longer
  // than IoTimeout milliseconds (0: no limit); LastErrorMessage() then says which.
  std::atomic<bool> StopRequested{false};
  int IoTimeout = 10000;

 protected:
  // While it lives, the libraries' blocking I/O on the calling thread asks this decoder
  // whether to give up (the stop flag, or the time-out counted from construction).
  class ScopedBlockingCall {
   public:
    explicit ScopedBlockingCall(TCustomDecoder& decoder);
    ~ScopedBlockingCall();
    ScopedBlockingCall(const ScopedBlockingCall&) = delete;
    ScopedBlockingCall& operator=(const ScopedBlockingCall&) = delete;
    // The time-out starts again (a new blocking step of the same call).
    void Restart();

   private:
    TCustomDecoder& decoder_;
  };
  // The current or last blocking call gave up; the text of why ("" when it did not).
  std::string InterruptText() const;

  // Logs the text with this decoder as sender and keeps it as LastErrorMessage.
  void Fail(TLogLevel level, const std::string& message);
  void Note(TLogLevel level, const std::string& message);
  // Called after a file was opened or attached, once the counts are filled.
  virtual void InformationFilled() {}
  // The stream with a valid time base (a zero denominator becomes the numerator or 1).
  AVStream* StreamAt(int index) const;

  AVFormatContext* context_ = nullptr;
  bool owned_ = false;
  std::string fileName_;

 private:
  void RequireLibraries() const;
  static bool BlockingCallInterrupted(void* decoder);
  void FillInformation();
  void ResetInformation();
  // Index of the stream to describe, or -1 after logging why there is none.
  int ResolveStream(int index, int mediaType, const char* noneText, const char* kindText);

  std::string lastErrorMessage_;
  std::string forcedFormat_;
  int64_t fileSize_ = -1;
  int streamCount_ = -1;
  int programCount_ = -1;
  int audioStreamCount_ = -1;
  int videoStreamCount_ = -1;
  int subtitleStreamCount_ = -1;
  int firstAudioStream_ = -1;
  int firstVideoStream_ = -1;
  int firstSubtitleStream_ = -1;
  std::atomic<int64_t> ioStartTime_{0};
  std::atomic<int> interruptReason_{0};  // 0 none, 1 time-out, 2 stopped
};

}  // namespace engine
