#pragma once
// A conversion job: its engine context (every switch the options set, with its default),
// the library option objects that collect codec, format and scaler options, and the option
// handling that configures it. The run itself (opening inputs and outputs, the stream
// tables and the main loop) builds on this context.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ThreadPriority.h"
#include "engine/ManualResetEvent.h"
#include "engine/OptionRecords.h"
#include "engine/OptionTranslation.h"
#include "engine/OutputTarget.h"
#include "enginebase/Bitmap.h"
#include "enginebase/FormatConverter.h"
#include "enginebase/FrameHooks.h"
#include "enginebase/LibraryPtr.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
}

namespace engine {

// The message of the last refused library option, shared by all jobs.
std::string LastOptionError();
void SetLastOptionError(const std::string& text);

// Media kinds of the per-kind option objects, in the order options are tried.
enum TOptionKind { okVideo, okAudio, okData, okSubtitle, okAttachment, okKindCount };

enum class TTargetNorm { Auto, Pal, Ntsc, Film };

struct TStreamMap {
  int FileIndex = 0, StreamIndex = 0, SyncFileIndex = 0, SyncStreamIndex = 0;
  bool operator==(const TStreamMap&) const = default;
};

// One side of a "map_meta_data" pair: file, type g (global), s (stream), c (chapter) or p
// (program), and the index for s, c and p.
struct TMetadataMapSide {
  int FileIndex = 0;
  char Type = 'g';
  int Index = 0;
  bool operator==(const TMetadataMapSide&) const = default;
};

// A bitstream filter asked for by name, created when its output stream is set up.
struct TBitstreamFilterRequest {
  std::string Name;
  std::string Arguments;  // the text after "=", if any
  bool operator==(const TBitstreamFilterRequest&) const = default;
};

struct TRecordedOption {
  std::string Name;
  // Empty when the generic option objects hold the value (it is read back from them);
  // set when only a codec's or muxer's own options know the name.
  std::string Value;
  // A flags option given as "+name" / "-name": applied as given, so that a codec's own
  // default flags stay unless they are named.
  std::string Relative;
  bool operator==(const TRecordedOption&) const = default;
};

// Closes an output context: its file (when the format writes one), then the context.
struct OutputContextCloser {
  void operator()(AVFormatContext* c) const;
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextCloser>;

// One stream created for an output: the stream, the encoder settings it was given (the
// codec opening reads them), its bitstream filter chain and its forced key frame list.
struct TOutputStreamSlot {
  AVStream* Stream = nullptr;
  int FileIndex = 0;
  bool StreamCopy = false;
  const AVCodec* Encoder = nullptr;  // null for stream copy or when none is installed
  CodecContextPtr Settings;
  std::vector<TBitstreamFilterRequest> BitstreamFilters;
  std::string ForcedKeyFrames;
};

struct TTranscodeState;  // the per-run stream tables, built by the transcode core
class TConvertThread;

// Priorities of a job's worker thread: the program's one priority type.
using core::TThreadPriority;
using enum core::TThreadPriority;

// A window that shows the frames being encoded (bit 0 of the preview flags). The windowed
// program installs a factory; without one the preview window is simply not shown.
class IPreviewWindow {
 public:
  virtual ~IPreviewWindow() = default;
  // False when the window no longer shows frames (the user closed it).
  virtual bool Show(const TBitmap& bitmap, int frameNumber, int64_t pts) = 0;
};
using TPreviewWindowFactory = std::function<std::unique_ptr<IPreviewWindow>()>;
void SetPreviewWindowFactory(TPreviewWindowFactory factory);
TPreviewWindowFactory PreviewWindowFactory();

class TCustomFFmpeg {
 public:
  TCustomFFmpeg();
  ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

  // ---- Option handling ----
  // One option, name compared exactly; raises FFmpegException with the refusal text.
  void SetOption(const std::string& name, const std::string& value);
  // Sets a codec, format or scaler option (translated from the old vocabulary first) and
  // records it; false with LastOptionError() when it is refused.
  bool SetLibraryOption(const std::string& name, const std::string& value);
  // Copies the recorded options onto a codec context of that kind (only options whose
  // flags include all of `flags`), or onto a format context; a name only the codec's or
  // muxer's own options know goes to its private options.
  void ApplyRecordedOptions(AVCodecContext* context, TOptionKind kind, int flags);
  void ApplyRecordedOptions(AVFormatContext* context, int flags);
  // An extra option text; the stream-adding and preset names are the encoder's own, the
  // codec and size names are applied only with allowAll.
  void ApplyOptionText(const std::string& text, bool allowAll);
  // kind "a", "v", "s" or "f".
  void LoadPreset(const std::string& kind, const std::string& value);
  // type "vcd", "svcd", "dvd", "dv" or "dv50".
  void ApplyTarget(const std::string& type, TTargetNorm norm, TTargetNorm fallbackNorm);

  const std::vector<TRecordedOption>& RecordedOptions() const { return recordedOptions_; }
  // The per-kind option objects (read by the stream setup and the tests).
  AVCodecContext* CodecOptions(TOptionKind kind) const { return codecOptions_[kind].get(); }
  AVFormatContext* FormatOptions() const { return formatOptions_.get(); }
  SwsContext* ScalerOptions() const { return scalerOptions_.get(); }

  // ---- The run: built on top of this context by the transcode core ----
  // OpenInput / OpenOutput (no join) that raise FFmpegException with LastError on failure.
  void OpenInputFile(const std::string& fileName);
  void OpenOutputFile(const std::string& fileName);
  // The conversion itself over the opened inputs and outputs (the transcode core). Raises
  // FFmpegException with the failure text; sets Finished as its last act.
  void Transcode();
  // After the output was opened with join asked: one output entry per input.
  void JoinSetup();
  // Closes every codec still open for this job and frees the per-run state (safe to call
  // when nothing is open). Takes the codec lock.
  void ReleaseRunState();

  // ---- Run control ----
  // Not threaded: runs the job in the calling thread and returns null when it has ended.
  // Threaded: creates the (suspended) worker and returns it; the caller resumes it.
  // Null and nothing done when the job is running or has ended.
  TConvertThread* Start(bool threaded, TThreadPriority priority = tpNormal);
  void StopJob(bool wait);
  void RequestStop(bool wait);
  void RunJob();
  void DoTerminate();
  // Closes and frees every input and output. A complete output takes its name; the
  // temporary file of an incomplete one is deleted, and so is an output left empty.
  void Cleanup();
  static bool IsStopRequested(void* job);
  static bool IoTimedOut(void* job);
  void SetPreviewFlags(uint8_t flags);
  // Removes the preview window (the job has ended); the preview flags stay.
  void ClosePreviewWindow();

  // ---- Links to the encoder component (an unset link is skipped) ----
  std::function<void(TCustomFFmpeg& job, int fileIndex, int frameNumber, int fps, float quality,
                     float bitRate, int64_t currentSize, int64_t currentDuration,
                     int64_t totalDuration)>
      ProgressLink;
  std::function<void(TCustomFFmpeg& job)> TerminateLink;
  std::function<void(TCustomFFmpeg& job, uint8_t* samples, int64_t pts, int size, int sampleRate,
                     int channels, AVSampleFormat sampleFormat)>
      AudioHookLink;
  std::function<void(TCustomFFmpeg& job, TBitmap& bitmap, int frameNumber, int64_t pts,
                     bool& update, bool& stopHook)>
      VideoInputHookLink, VideoOutputHookLink;
  std::function<void(TCustomFFmpeg& job, TBitmap& bitmap, int frameNumber, int64_t pts)>
      PreviewBitmapLink;

  // ---- Run-control fields ----
  std::atomic<bool> Running{false};
  std::atomic<bool> Terminated{false};
  std::atomic<bool> HasError{false};
  std::string ErrorMessage;
  TConvertThread* WorkerThread = nullptr;
  ManualResetEvent RunDoneEvent{true};
  ManualResetEvent TerminateDoneEvent{true};
  int IoTimeout = 10000;  // ms
  int64_t ProgressIntervalUs = 500000;
  int64_t PreviewIntervalUs = 100000;
  std::atomic<uint8_t> PreviewFlags{0};  // bit 0 preview window, bit 1 preview bitmaps
  std::atomic<bool> FreshPreviewWanted{true};
  // Hooks and previews: the input hook's converter, and the one shared by the output hook
  // and the previews.
  TFormatConverter InputConverter, PreviewConverter;
  std::unique_ptr<IPreviewWindow> PreviewWindow;

  // ---- Inputs and outputs ----
  // Opens an input with the pending input settings; false with LastError. Raises
  // FFmpegException for an unknown forced format.
  bool OpenInput(const std::string& fileName);
  // Sets up an output with the pending output settings; the new output count, or -1 with
  // LastError.
  int OpenOutput(const std::string& fileName, bool join);
  // Add one stream to an output; raise FFmpegException with the failure text.
  void NewVideoStream(AVFormatContext* output, int outputIndex);
  void NewAudioStream(AVFormatContext* output, int outputIndex);
  void NewSubtitleStream(AVFormatContext* output, int outputIndex);
  // An encoder or decoder by name: true with the codec (null for an empty name), or false
  // with LastError.
  bool LookupCodec(AVMediaType type, const std::string& name, bool encoder, int strictness,
                   const AVCodec*& codec);
  int InputFileCount() const { return static_cast<int>(InputFiles.size()); }
  int OutputFileCount() const { return static_cast<int>(OutputFiles.size()); }

  std::string LastError;
  // Called with each input's context after its header is read, before its streams are
  // probed (the encoder component hands it on to its own event).
  std::function<void(AVFormatContext*)> BeforeFindStreamInfo;
  std::vector<const AVCodec*> InputDecoders;  // per input stream: the decoder asked for
  std::vector<TOutputStreamSlot> OutputStreamSlots;
  std::vector<OutputContextPtr> OwnedOutputFiles;  // the contexts OutputFiles points to
  // Per owned output: where its file is written and the name it takes when complete.
  std::vector<TOutputTarget> OutputTargets;
  // The target of an output context (any entry of OutputFiles); null when unknown.
  TOutputTarget* OutputTargetOf(const AVFormatContext* output);
  // Closes the file of every output whose trailer is written and gives it its name.
  // Raises FFmpegException when a file cannot take its name (it stays under its
  // temporary name then).
  void SettleCompleteOutputs();
  // When the current blocking open began (library clock, µs); the largest value when none
  // is under way, 0 when it was cancelled.
  std::atomic<int64_t> IoStartTime{std::numeric_limits<int64_t>::max()};

  // ---- Engine context ----
  // Capacity for input files and, separately, output files; the encoder component sets it.
  int MaxFiles = 20;
  static constexpr int MaxStreams = 20;

  std::vector<FormatContextPtr> InputFiles;
  std::vector<int64_t> InputTsOffsets;
  std::vector<std::vector<double>> InputTsScales;  // per input file, per stream; 0 = none
  std::vector<double> NextInputTsScales;           // for the next input to be opened
  std::vector<AVFormatContext*> OutputFiles;       // join mode repeats one output
  std::vector<TStreamMap> StreamMaps;
  std::vector<std::pair<TMetadataMapSide, TMetadataMapSide>> MetadataMaps;  // out, in
  std::vector<std::pair<int, int>> ChapterMaps;                             // out, in
  std::vector<int> StreamIdMap;
  bool MetadataAutoCopyGlobal = true;
  bool MetadataAutoCopyStreams = true;
  bool MetadataAutoCopyChapters = true;
  bool JoinMode = false;
  int64_t TotalDuration = -1;

  int FrameWidth = 0, FrameHeight = 0;
  double FrameAspectRatio = 0.0;
  AVPixelFormat FramePixelFormat = AV_PIX_FMT_NONE;
  AVSampleFormat AudioSampleFormat = AV_SAMPLE_FMT_NONE;
  // video, audio, data, subtitle
  std::array<int32_t, 4> MaxFrames{
      std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
      std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()};
  AVRational FrameRate{25, 0};
  bool VideoDisable = false, AudioDisable = false, SubtitleDisable = false;
  bool SameQuality = false;
  bool Deinterlace = false;
  bool IntraOnly = false;
  int TopFieldFirst = -1;
  int IntraDcPrecision = 8;
  bool LoopInput = false;
  int LoopOutput = -1;
  bool QpHistogram = false;
  std::string VideoFilters;
  int AudioSampleRate = 44100;
  int AudioChannels = 2;
  double AudioQScale = -99999.0;                                // none
  double VideoQScale = 0.0;                                     // none
  double MuxPreload = 0.5, MuxMaxDelay = 0.7;                   // seconds
  int64_t RecordingTime = std::numeric_limits<int64_t>::max();  // µs; max = none
  int64_t StartTime = 0;                                        // µs
  int64_t RecordingTimestamp = 0;                               // s since 1970, UTC
  int64_t InputTsOffset = 0;                                    // µs
  bool PacketDump = false, HexDump = false;
  bool Psnr = false;
  int PassNumber = 0;
  std::string PassLogFilePrefix;
  bool AudioStreamCopy = false, VideoStreamCopy = false, SubtitleStreamCopy = false;
  std::string VideoCodecName, AudioCodecName, SubtitleCodecName;
  int VideoSyncMethod = -1;  // automatic
  int AudioSyncMethod = 0;
  double AudioDriftThreshold = 0.1;  // s
  bool CopyTs = false, CopyTb = false, Shortest = false;
  double DtsDeltaThreshold = 10.0;  // s
  int ProgramId = 0;
  int CopyInitialNonKeyframes = 0;
  bool RateEmulation = false;
  int AudioVolume = 256;  // unchanged
  bool ExitOnError = false;
  int Verbose = 1;
  int ThreadCount = 0;  // automatic: the libraries use every core
  bool InputSync = false;
  int64_t LimitFileSize = 0;  // none
  bool ForceFps = false;
  std::string ForcedKeyFrames;
  int ScalerFlags = 4;  // bicubic
  int VideoGlobalHeader = 0;
  int VideoDiscard = 0;
  int MeThreshold = 0;
  int VideoChannel = 0;
  std::string ForcedFormatName;
  std::string VideoLanguage, AudioLanguage, SubtitleLanguage;
  std::string RcOverride;
  std::string VideoStandard;
  std::string VstatsFileName;
  uint32_t AudioTag = 0, VideoTag = 0, SubtitleTag = 0;
  AVDictionary* Metadata = nullptr;                // output metadata; freed with the job
  std::vector<uint16_t> IntraMatrix, InterMatrix;  // 64 coefficients when set
  std::vector<TBitstreamFilterRequest> AudioBitstreamFilters, VideoBitstreamFilters,
      SubtitleBitstreamFilters;
  TFrameHookList FrameHookList;
  bool UsingVhook = false;
  bool RaiseOnOptionError = true;

  // Statistics, reset with the options.
  int64_t VideoBytes = 0, AudioBytes = 0, ExtraBytes = 0;
  int32_t FramesDuplicated = 0, FramesDropped = 0;
  bool DupDropChanged = false;
  int64_t TimerStart = 0;

  std::atomic<bool> StopRequested{false};
  std::atomic<bool> Finished{false};
  std::unique_ptr<TTranscodeState> Run;  // per-run state while Transcode works

 private:
  void Log(int level, const std::string& text) const;
  void SetTimeOption(const std::string& name, const std::string& value);
  void SetParsedOption(const std::string& name, const std::string& value, bool& handled);
  bool SetOneLibraryOption(const std::string& name, const std::string& value);
  TTargetNorm DetectNorm(TTargetNorm fallbackNorm) const;

  std::array<CodecContextPtr, okKindCount> codecOptions_;
  FormatContextPtr formatOptions_;
  SwsContextPtr scalerOptions_;
  std::vector<TRecordedOption> recordedOptions_;
  TOptionTranslator translator_;
};

// Closes the output's file (when it writes one) and settles its target: a complete file
// takes its name, an incomplete one is removed. The text of a failed rename, else "".
std::string CloseOutput(AVFormatContext* output, TOutputTarget* target);

// The typed fields of an output record, then its target (vcd, svcd or dvd from `Target`).
void ApplyOutputOptions(TCustomFFmpeg& job, const TOutputOptions& options);
void ApplyTarget(TCustomFFmpeg& job, const TOutputOptions& options);

}  // namespace engine
