#pragma once
// Builds the jobs of one conversion run in the encoder component: from the list of input
// files and the current class, format, preset, output folder and merge choice, either one
// job per file or a single job joining every file into one output. The window and
// wizconv-cli both use it. Plain C++ (no widgets).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "appcore/AppSettings.h"
#include "convert/PresetTable.h"

namespace engine {
class TFFEncoder;
}

namespace convert {

// Settings holding the given choice: the class, its current format, that format's preset
// index and the output folder; everything else at its default.
app::AppSettings SettingsForChoice(int formatClass, int formatCode, int presetIndex,
                                   const std::string& outputDir);

// One job handed to the encoder.
struct BatchJob {
  int TaskIndex = -1;
  std::vector<std::string> Inputs;  // full paths, in the order they are converted
  std::vector<SourceFacts> Facts;   // what the probe found of each input
  std::string Output;               // full path of the output file
  int64_t Duration = -1;            // microseconds of media to convert, -1 unknown
};

// An input file that got no job (per file) or was left out of the joined job (merge).
struct SkippedFile {
  std::string File;
  std::string Reason;  // the log line that says why
};

struct BatchPlan {
  std::vector<BatchJob> Jobs;  // job n has TaskIndex n
  std::vector<SkippedFile> Skipped;
  int64_t TotalDuration = 0;  // sum of the known durations of the inputs that got a job
};

class BatchBuilder {
 public:
  explicit BatchBuilder(engine::TFFEncoder& encoder) : encoder_(encoder) {}

  // The encoder's job list must be empty. Per file: each file is probed with the
  // encoder's decoder, gets its output options from the preset table and an output name
  // in the output folder (numbered when taken: the output file exists once its job has
  // its output, so a later file of the same name gets the next number). Merge: every
  // file that opens joins job 0, whose output is "Output_Merge" plus the extension.
  BatchPlan Build(const app::AppSettings& settings, bool merge,
                  const std::vector<std::string>& files);

  // Each log line of the building, as the log window shows it.
  std::function<void(const std::string&)> OnLog;

 private:
  void Log(const std::string& line);
  SourceFacts Probe(const std::string& file);
  void BuildPerFile(const app::AppSettings& settings, const std::vector<std::string>& files,
                    BatchPlan& plan);
  void BuildMerge(const app::AppSettings& settings, const std::vector<std::string>& files,
                  BatchPlan& plan);

  engine::TFFEncoder& encoder_;
};

}  // namespace convert
