#include "OutputProbe.h"

#include <cmath>
#include <sstream>

#include "TestSupport.h"

namespace outputprobe {
namespace {

double ToNumber(const std::string& text) {
  if (text.empty() || text == "N/A") return NAN;
  const auto slash = text.find('/');
  if (slash != std::string::npos) {
    const double den = std::stod(text.substr(slash + 1));
    return den == 0 ? NAN : std::stod(text.substr(0, slash)) / den;
  }
  return std::stod(text);
}

}  // namespace

std::string Stream::Get(const std::string& name) const {
  auto it = fields.find(name);
  return it == fields.end() ? std::string() : it->second;
}

double Stream::Number(const std::string& name) const { return ToNumber(Get(name)); }

const Stream* Probe::First(const std::string& codecType) const {
  for (const auto& s : streams)
    if (s.Get("codec_type") == codecType) return &s;
  return nullptr;
}

Probe Read(const std::string& file) {
  Probe probe;
  auto result = testsupport::RunProcess(
      {"/usr/bin/ffprobe", "-v", "error", "-show_format", "-show_streams", "-of", "flat=s=_", file});
  if (result.exitCode != 0) {
    probe.error = result.err;
    return probe;
  }
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    if (key.rfind("streams_stream_", 0) == 0) {
      const std::string rest = key.substr(15);
      const auto underscore = rest.find('_');
      const size_t index = std::stoul(rest.substr(0, underscore));
      if (probe.streams.size() <= index) probe.streams.resize(index + 1);
      probe.streams[index].fields[rest.substr(underscore + 1)] = value;
    } else if (key == "format_format_name") {
      probe.formatName = value;
    } else if (key == "format_duration") {
      probe.duration = ToNumber(value);
    }
  }
  probe.ok = true;
  return probe;
}

std::vector<Packet> Packets(const std::string& file, const std::string& type) {
  auto result = testsupport::RunProcess({"/usr/bin/ffprobe", "-v", "error", "-select_streams",
                                         type + ":0", "-show_entries", "packet=pts_time,dts_time,flags",
                                         "-of", "csv=p=0", file});
  std::vector<Packet> packets;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string pts, dts, flags;
    std::getline(fields, pts, ',');
    std::getline(fields, dts, ',');
    std::getline(fields, flags, ',');
    packets.push_back({ToNumber(pts), ToNumber(dts), flags.find('K') != std::string::npos});
  }
  return packets;
}

std::string DecodeErrors(const std::string& file) {
  auto result = testsupport::RunProcess(
      {"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", file, "-f", "null", "-"});
  return result.exitCode == 0 ? result.err : "exit " + std::to_string(result.exitCode) + ": " + result.err;
}

}  // namespace outputprobe
