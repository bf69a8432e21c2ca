#pragma once
// What the ffprobe program reads in a file the engine wrote: the container, each stream,
// and the packets of one stream.

#include <map>
#include <string>
#include <vector>

namespace outputprobe {

struct Stream {
  std::map<std::string, std::string> fields;  // ffprobe's names: codec_name, width, ...
  std::string Get(const std::string& name) const;
  double Number(const std::string& name) const;  // NaN when missing or "N/A"
};

struct Probe {
  bool ok = false;
  std::string error;
  std::string formatName;
  double duration = 0;  // seconds
  std::vector<Stream> streams;
  const Stream* First(const std::string& codecType) const;
};

Probe Read(const std::string& file);

struct Packet {
  double pts = 0, dts = 0;  // seconds; NaN when missing
  bool key = false;
};
// The packets of the first stream of a type ("v" or "a"), in file order.
std::vector<Packet> Packets(const std::string& file, const std::string& type);
// ffprobe reads the whole file, decoding every frame; its error output ("" when clean).
std::string DecodeErrors(const std::string& file);

}  // namespace outputprobe
