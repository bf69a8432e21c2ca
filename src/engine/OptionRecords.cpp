#include "engine/OptionRecords.h"

namespace engine {

void TStreamInfo::Reset() { *this = TStreamInfo(); }

void TInputOptions::Reset() { *this = TInputOptions(); }

void TOutputOptions::Reset() { *this = TOutputOptions(); }

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Every line break form and the literal "<CRLF>" become a single LF.
std::string withUnifiedLineBreaks(std::string_view text) {
  constexpr std::string_view kLiteralBreak = "<CRLF>";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += '\n';
    } else if (c == '<' && text.substr(i, kLiteralBreak.size()) == kLiteralBreak) {
      i += kLiteralBreak.size() - 1;
      out += '\n';
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::vector<OptionLine> SplitOptionText(std::string_view text) {
  const std::string unified = withUnifiedLineBreaks(trimmed(text));
  std::vector<OptionLine> lines;
  std::string_view rest = unified;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (trimmed(line).empty()) continue;
    const size_t equals = line.find('=');
    OptionLine option;
    option.Name = std::string(line.substr(0, equals));
    for (char& c : option.Name) c = asciiLower(c);
    if (equals != std::string_view::npos) option.Value = std::string(line.substr(equals + 1));
    lines.push_back(std::move(option));
  }
  return lines;
}

}  // namespace engine
