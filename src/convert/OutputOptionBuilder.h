#pragma once
// Turns the current choice of class, format and preset into the option records of a job,
// and names the output files. Plain C++.

#include <string>

#include "appcore/AppSettings.h"
#include "convert/PresetTable.h"
#include "decoder/CustomDecoder.h"
#include "engine/OptionRecords.h"

namespace convert {

// The folder part of a path with its trailing "/", empty for a bare file name.
std::string FolderOf(const std::string& path);

// The file name of a path without its folder.
std::string FileNameOf(const std::string& path);

// Full path of the output of `inputPath` in `outputDir`: the input's file name with its
// extension replaced by `extension` (kept as it is when `extension` is empty), numbered
// "(1)", "(2)", ... when that name is already taken in the folder.
std::string PerFileOutputName(const std::string& inputPath, const std::string& extension,
                              const std::string& outputDir);

// Full path of a joined output: "Output_Merge" + `extension`, numbered when taken.
std::string MergeOutputName(const std::string& extension, const std::string& outputDir);

// The output record for the current class, format and preset of `settings`. Per file it
// also names the output in `settings.OutputFileDir` (FileName, FileExt); in merge mode the
// name stays empty (the caller gives MergeOutputName with the output) and Join is set.
engine::TOutputOptions BuildOutputOptions(const app::AppSettings& settings,
                                          const std::string& inputPath, const SourceFacts& source,
                                          BuildMode mode);

// What the preset table needs to know of the decoder's open file: the first audio stream's
// bit rate, the first video stream's size and aspect ratio, the file's duration. -1 for
// whatever the file does not provide (a bit rate of 0 is unknown too), all -1 without an
// open file. Asks only for streams the file has, so nothing is logged as an error.
SourceFacts ReadSourceFacts(engine::TCustomDecoder& decoder);

// The input record of a probed file: only its name; the probe forces no format.
engine::TInputOptions BuildInputOptions(const std::string& fileName);

}  // namespace convert
