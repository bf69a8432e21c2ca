#pragma once
// An INI text in memory: "[section]" lines and "key=value" lines. Sections and keys keep
// the order of the file; a key written for the first time is appended to its section and
// a new section to the end. Section and key names are found regardless of letter case,
// like the profile functions of the old platform; names and values are trimmed of blanks
// and CRs, names also where they are asked for. Lines that are neither (comments, blank
// lines, junk) are kept as they stand. Lines end with LF; the CRs before it belong to the
// line end. The UTF-8 byte-order marks and blanks the text starts with are skipped. A text that was written reads
// back the same. Plain C++.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class IniFile {
 public:
  IniFile() = default;
  static IniFile Parse(std::string_view text);
  // From lines already split (a line may hold any byte but is never split again).
  static IniFile FromLines(const std::vector<std::string>& lines);
  // Throws AppError with the file-open text when the file cannot be read.
  static IniFile Load(const std::string& path);

  // The text with LF line ends.
  std::string Serialize() const;
  // Replaces the file crash-safely; throws AppError "Unable to write to <path>".
  void Save(const std::string& path) const;

  bool HasSection(std::string_view section) const;
  // The value of the first such key in the first such section, or nothing.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& defaultValue) const;
  // Sets the value, adding the section and the key when missing. The value is stored
  // trimmed of blanks, as it would read back. A section name, key or
  // value holding a line break (or a key with "=", a section with "]") cannot be stored
  // in an INI text: it is refused with false and nothing changes.
  bool Write(std::string_view section, std::string_view key, std::string_view value);

  std::vector<std::string> SectionNames() const;
  std::vector<std::string> Keys(std::string_view section) const;

 private:
  struct Line {
    bool isEntry = false;
    std::string key;    // entries
    std::string value;  // entries
    std::string text;   // other lines, kept as read
  };
  struct Section {
    bool hasHeader = false;  // false only for the lines before the first header
    std::string name;
    std::string header;  // the header line as read
    std::vector<Line> lines;
  };
  void addLine(std::string_view raw);
  const Section* findSection(std::string_view name) const;
  Section* findSection(std::string_view name);

  std::vector<Section> sections_;
};

}  // namespace app
