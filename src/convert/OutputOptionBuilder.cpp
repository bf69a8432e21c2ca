#include "convert/OutputOptionBuilder.h"

#include "appcore/FileNames.h"
#include "convert/FormatCatalogue.h"

namespace convert {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PerFileOutputName(const std::string& inputPath, const std::string& extension,
                              const std::string& outputDir) {
  std::string name = FileNameOf(inputPath);
  if (!extension.empty()) name = app::StripExtension(name) + extension;
  return app::WithTrailingSeparator(outputDir) + app::UniqueFileName(name, outputDir);
}

std::string MergeOutputName(const std::string& extension, const std::string& outputDir) {
  return app::WithTrailingSeparator(outputDir) +
         app::UniqueFileName("Output_Merge" + extension, outputDir);
}

engine::TOutputOptions BuildOutputOptions(const app::AppSettings& settings,
                                          const std::string& inputPath, const SourceFacts& source,
                                          BuildMode mode) {
  engine::TOutputOptions options;
  options.Reset();
  const int formatClass = settings.OutputFormatClass;
  const int formatCode = CurrentFormatCode(settings, formatClass);
  const FormatInfo* format = FindFormat(formatClass, formatCode);
  const int presetIndex = format ? settings.*(format->presetField) : -1;
  if (mode == BuildMode::PerFile) {
    options.FileExt = OutputExtension(settings);
    options.FileName = PerFileOutputName(inputPath, options.FileExt, settings.OutputFileDir);
  }
  ApplyPresetTable(options, formatClass, formatCode, presetIndex, mode, source);
  if (mode == BuildMode::Merge) options.Join = true;
  return options;
}

SourceFacts ReadSourceFacts(engine::TCustomDecoder& decoder) {
  SourceFacts facts;
  if (!decoder.IsOpen()) return facts;
  engine::TFileStreamInfo file;
  if (decoder.GetFileStreamInfo(file)) facts.Duration = file.Duration;
  engine::TAudioStreamInfo audio;
  if (decoder.FirstAudioStream() >= 0 && decoder.GetAudioStreamInfo(-1, audio)) {
    facts.AudioBitrate = audio.BitRate > 0 ? audio.BitRate : -1;
  }
  engine::TVideoStreamInfo video;
  if (decoder.FirstVideoStream() >= 0 && decoder.GetVideoStreamInfo(-1, video)) {
    facts.Width = video.Width;
    facts.Height = video.Height;
    facts.AspectRatio = video.AspectRatio;
  }
  return facts;
}

engine::TInputOptions BuildInputOptions(const std::string& fileName) {
  engine::TInputOptions options;
  options.Reset();
  options.FileName = fileName;
  return options;
}

}  // namespace convert
