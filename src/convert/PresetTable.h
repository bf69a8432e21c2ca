#pragma once
// The preset table: which output options every preset of every target format sets. Plain
// C++; the builder applies it to a freshly reset output record.

#include <cstdint>
#include <string_view>

#include "engine/OptionRecords.h"

namespace convert {

// What the table needs to know about the input file (the decoder fills it); -1 marks a
// value the file does not provide.
struct SourceFacts {
  int32_t AudioBitrate = -1;  // bit/s of the first audio stream
  int32_t Width = -1;
  int32_t Height = -1;
  float AspectRatio = -1.0f;
  int64_t Duration = -1;  // microseconds
};

// One job per file, or one job joining every file into one output.
enum class BuildMode { PerFile, Merge };

// The x264 option lines several presets hand over as extra option text.
extern const std::string_view kX264BlockA;
extern const std::string_view kX264BlockB;

// Number of presets the table holds for a format, -1 for a class or code out of range.
int PresetTableCount(int formatClass, int formatCode);

// Sets what the class, the format and its preset index ask for and leaves every other
// field as it is. A preset index outside the format's list sets only what the format sets
// whatever the preset; an unknown class or format sets nothing.
void ApplyPresetTable(engine::TOutputOptions& options, int formatClass, int formatCode,
                      int presetIndex, BuildMode mode, const SourceFacts& source);

}  // namespace convert
