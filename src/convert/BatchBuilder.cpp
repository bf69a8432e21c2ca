#include "convert/BatchBuilder.h"

#include "convert/FormatCatalogue.h"
#include "convert/OutputOptionBuilder.h"
#include "engine/FFEncoder.h"

namespace convert {

app::AppSettings SettingsForChoice(int formatClass, int formatCode, int presetIndex,
                                   const std::string& outputDir) {
  app::AppSettings settings;
  settings.OutputFormatClass = static_cast<uint8_t>(formatClass);
  if (auto field = CurrentFormatField(formatClass)) settings.*field = static_cast<uint8_t>(formatCode);
  if (const FormatInfo* format = FindFormat(formatClass, formatCode))
    settings.*(format->presetField) = presetIndex;
  settings.OutputFileDir = outputDir;
  return settings;
}

void BatchBuilder::Log(const std::string& line) {
  if (OnLog) OnLog(line);
}

SourceFacts BatchBuilder::Probe(const std::string& file) {
  engine::TFFDecoder& decoder = encoder_.Decoder();
  SourceFacts facts;
  if (decoder.LoadFile(file)) facts = ReadSourceFacts(decoder);
  decoder.CloseFile();
  return facts;
}

BatchPlan BatchBuilder::Build(const app::AppSettings& settings, bool merge,
                              const std::vector<std::string>& files) {
  BatchPlan plan;
  if (merge)
    BuildMerge(settings, files, plan);
  else
    BuildPerFile(settings, files, plan);
  return plan;
}

void BatchBuilder::BuildPerFile(const app::AppSettings& settings,
                                const std::vector<std::string>& files, BatchPlan& plan) {
  engine::TFFDecoder& decoder = encoder_.Decoder();
  for (const std::string& file : files) {
    auto skip = [&](const std::string& line) {
      Log(line);
      plan.Skipped.push_back({file, line});
    };
    if (!decoder.LoadFile(file)) {
      skip("文件加载错误:" + decoder.LastErrorMessage());
      decoder.CloseFile();
      continue;
    }
    const SourceFacts facts = ReadSourceFacts(decoder);
    const engine::TOutputOptions output =
        BuildOutputOptions(settings, file, facts, BuildMode::PerFile);
    const engine::TInputOptions input = BuildInputOptions(decoder.FileName());
    decoder.CloseFile();

    const int index = encoder_.AddTask(input.FileName, &input);
    if (index < 0) {
      skip("添加文件错误:" + encoder_.LastErrorMessage());
      continue;
    }
    if (!encoder_.SetOutputFile(index, output.FileName, &output)) {
      const std::string reason = "无法转换，错误：" + encoder_.LastErrorMessage();
      encoder_.RemoveTask(index);
      skip(reason);
      continue;
    }
    plan.Jobs.push_back(
        {index, {file}, {facts}, output.FileName, facts.Duration > 0 ? facts.Duration : -1});
    if (facts.Duration > 0) plan.TotalDuration += facts.Duration;
    Log("文件已添加到转换列表。");
  }
}

void BatchBuilder::BuildMerge(const app::AppSettings& settings,
                              const std::vector<std::string>& files, BatchPlan& plan) {
  const std::string extension = OutputExtension(settings);
  BatchJob job;
  job.TaskIndex = 0;
  job.Duration = 0;
  bool durationKnown = true;
  for (const std::string& file : files) {
    engine::TInputOptions input;
    input.Reset();
    bool added;
    if (encoder_.TasksCount() > 0) {
      added = encoder_.AddInputFile(0, file, &input);
    } else {
      added = encoder_.AddTask(file, &input) >= 0;
    }
    if (!added) {
      const std::string line = "添加文件错误:" + encoder_.LastErrorMessage();
      Log(line);
      plan.Skipped.push_back({file, line});
      continue;
    }
    const SourceFacts facts = Probe(file);
    const int64_t duration = facts.Duration;
    if (duration > 0) {
      job.Duration += duration;
      plan.TotalDuration += duration;
    } else {
      durationKnown = false;
    }
    job.Inputs.push_back(file);
    job.Facts.push_back(facts);
    Log("文件已添加到转换列表。");
  }
  if (encoder_.TasksCount() == 0) return;

  engine::TOutputOptions output =
      BuildOutputOptions(settings, std::string(), SourceFacts{}, BuildMode::Merge);
  job.Output = MergeOutputName(extension, settings.OutputFileDir);
  if (!encoder_.SetOutputFile(0, job.Output, &output)) {
    const std::string line = "无法转换，错误：" + encoder_.LastErrorMessage();
    encoder_.RemoveTask(0);
    Log(line);
    // A refused output leaves no job: every input is then without one.
    for (const std::string& file : job.Inputs) plan.Skipped.push_back({file, line});
    plan.TotalDuration = 0;
    return;
  }
  if (!durationKnown) job.Duration = -1;
  plan.Jobs.push_back(std::move(job));
}

}  // namespace convert
