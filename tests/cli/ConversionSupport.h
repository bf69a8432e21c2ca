#pragma once
// What the conversion command tests share: clips made by the ffmpeg program, ffprobe's
// view of a file, and running a command that is interrupted half way.

#include <QJsonObject>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace conversiontest {

// Makes `name` in `dir` with the ffmpeg program; the arguments go between "-y" and the
// output name. Fails the test when ffmpeg fails.
std::string MakeMedia(const testsupport::TempDir& dir, const std::string& name,
                      const std::vector<std::string>& ffmpegArgs);

// ffprobe's -show_format -show_streams (and -count_packets with countPackets) as JSON;
// empty when ffprobe cannot read the file.
QJsonObject Probe(const std::string& file, bool countPackets = false);

// The streams of a probe of one kind ("video", "audio").
std::vector<QJsonObject> StreamsOf(const QJsonObject& probe, const QString& kind);

// Decodes the whole file with the ffmpeg program; the errors it printed (empty when the
// file reads cleanly to its end), or a text saying it could not be read at all.
std::string DecodeErrors(const std::string& file);

// Runs a program, reads its standard error as it comes, and sends `signal` once
// `ready(stderrSoFar)` is true. Gives up (and kills the program) after timeoutSeconds.
// `signalled` says whether the signal was sent.
testsupport::ProcessResult RunAndSignal(const std::vector<std::string>& argv,
                                        const std::function<bool(const std::string&)>& ready,
                                        int signal, bool& signalled, int timeoutSeconds = 120);

}  // namespace conversiontest
