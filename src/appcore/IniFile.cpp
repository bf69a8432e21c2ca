#include "appcore/IniFile.h"

#include <utility>

#include "appcore/FileBytes.h"

namespace app {

namespace {

std::string_view trim(std::string_view s) {
  // A CR at either end of a name or value is what is left of a line end, not text.
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The byte-order marks and blanks a text starts with. A tool that adds a mark each time
// it saves leaves several; and once the first line is written trimmed, a mark behind
// blanks would stand first, so it is taken for one here already.
std::string_view skipMarks(std::string_view s) {
  for (;;) {
    if (s.substr(0, 3) == "\xEF\xBB\xBF") {
      s.remove_prefix(3);
    } else if (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
      s.remove_prefix(1);
    } else {
      return s;
    }
  }
}

bool holdsLineBreak(std::string_view s) { return s.find_first_of("\r\n") != s.npos; }

}  // namespace

void IniFile::addLine(std::string_view raw) {
  if (sections_.empty()) sections_.push_back(Section{});
  const std::string_view line = trim(raw);
  if (!line.empty() && line.front() == '[') {
    Section section;
    section.hasHeader = true;
    const size_t close = line.find(']');
    section.name = std::string(trim(line.substr(1, close == line.npos ? line.npos : close - 1)));
    section.header = std::string(raw);
    sections_.push_back(std::move(section));
    return;
  }
  Line l;
  const size_t equals = line.find('=');
  if (equals != line.npos && line.front() != ';') {
    l.isEntry = true;
    l.key = std::string(trim(line.substr(0, equals)));
    l.value = std::string(trim(line.substr(equals + 1)));
  } else {
    l.text = std::string(raw);
  }
  sections_.back().lines.push_back(std::move(l));
}

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  text = skipMarks(text);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == text.npos) end = text.size();
    std::string_view raw = text.substr(start, end - start);
    start = end + 1;
    // Every CR before the LF belongs to the line end ("\r\r\n" is one line end too), so
    // that a text reads back the same once written with LF line ends.
    while (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    ini.addLine(raw);
  }
  return ini;
}

IniFile IniFile::FromLines(const std::vector<std::string>& lines) {
  IniFile ini;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (i == 0) line = skipMarks(line);
    ini.addLine(line);
  }
  return ini;
}

IniFile IniFile::Load(const std::string& path) { return Parse(ReadFileBytes(path)); }

std::string IniFile::Serialize() const {
  std::string out;
  for (const Section& section : sections_) {
    if (section.hasHeader) out += section.header + "\n";
    for (const Line& line : section.lines) {
      out += line.isEntry ? line.key + "=" + line.value : line.text;
      out += "\n";
    }
  }
  return out;
}

void IniFile::Save(const std::string& path) const { WriteFileReplacing(path, Serialize()); }

const IniFile::Section* IniFile::findSection(std::string_view name) const {
  // Names are asked for as Write stores them: trimmed.
  name = trim(name);
  for (const Section& section : sections_) {
    if (section.hasHeader && sameName(section.name, name)) return &section;
  }
  return nullptr;
}

IniFile::Section* IniFile::findSection(std::string_view name) {
  return const_cast<Section*>(std::as_const(*this).findSection(name));
}

bool IniFile::HasSection(std::string_view section) const { return findSection(section) != nullptr; }

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
  const Section* s = findSection(section);
  if (!s) return std::nullopt;
  key = trim(key);
  for (const Line& line : s->lines) {
    if (line.isEntry && sameName(line.key, key)) return line.value;
  }
  return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                const std::string& defaultValue) const {
  return Value(section, key).value_or(defaultValue);
}

bool IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view sectionName = trim(section);
  const std::string_view keyName = trim(key);
  if (sectionName.empty() || keyName.empty() || holdsLineBreak(sectionName) ||
      holdsLineBreak(keyName) || holdsLineBreak(value) ||
      sectionName.find(']') != sectionName.npos || keyName.find('=') != keyName.npos ||
      keyName.front() == '[' || keyName.front() == ';') {
    return false;
  }
  Section* s = findSection(sectionName);
  if (!s) {
    // A blank line between sections, as a person would write it.
    Section& last = sections_.empty() ? sections_.emplace_back() : sections_.back();
    const bool fileEmpty = sections_.size() == 1 && last.lines.empty() && !last.hasHeader;
    if (!fileEmpty && !(!last.lines.empty() && !last.lines.back().isEntry &&
                        trim(last.lines.back().text).empty())) {
      last.lines.push_back(Line{});
    }
    Section added;
    added.hasHeader = true;
    added.name = std::string(sectionName);
    added.header = "[" + added.name + "]";
    sections_.push_back(std::move(added));
    s = &sections_.back();
  }
  for (Line& line : s->lines) {
    if (line.isEntry && sameName(line.key, keyName)) {
      line.value = std::string(trim(value));
      return true;
    }
  }
  // After the section's last non-blank line, so the blank line before the next section stays.
  size_t at = s->lines.size();
  while (at > 0 && !s->lines[at - 1].isEntry && trim(s->lines[at - 1].text).empty()) --at;
  Line entry;
  entry.isEntry = true;
  entry.key = std::string(keyName);
  entry.value = std::string(trim(value));
  s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
  return true;
}

std::vector<std::string> IniFile::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& section : sections_) {
    if (section.hasHeader) names.push_back(section.name);
  }
  return names;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  if (const Section* s = findSection(section)) {
    for (const Line& line : s->lines) {
      if (line.isEntry) keys.push_back(line.key);
    }
  }
  return keys;
}

}  // namespace app
