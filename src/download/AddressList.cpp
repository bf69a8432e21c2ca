#include "download/AddressList.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "appcore/FileNames.h"

namespace download {

bool IsVideoAddress(std::string_view text, std::string_view serviceDomain) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return lower.find("http") != std::string::npos &&
         lower.find(serviceDomain) != std::string::npos;
}

std::vector<std::string> SplitPastedText(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  char quote = 0;
  auto endLine = [&] {
    if (!line.empty()) lines.push_back(line);
    line.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      line += c;
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\r' || c == '\n') {
      endLine();
      continue;
    }
    // A quote opens only when its partner follows somewhere: a lone quote is plain text.
    if ((c == '"' || c == '\'') && text.find(c, i + 1) != std::string_view::npos) quote = c;
    line += c;
  }
  endLine();
  return lines;
}

int AddressList::Paste(std::string_view clipboardText, const RefusalPrompt& prompt) {
  int added = 0;
  for (const std::string& line : SplitPastedText(clipboardText)) {
    const char* reason = nullptr;
    if (!IsVideoAddress(line, serviceDomain_)) {
      reason = kNotAVideoAddress;
    } else if (std::find(entries_.begin(), entries_.end(), line) != entries_.end()) {
      reason = kAlreadyListed;
    }
    if (reason) {
      if (!prompt(line + "\n\r\n\r" + reason)) break;
      continue;
    }
    entries_.push_back(line);
    ++added;
  }
  return added;
}

int AddressList::Remove(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(),
                            [&](int r) { return r < 0 || r >= Count(); }),
             rows.end());
  if (rows.empty()) return -1;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) entries_.erase(entries_.begin() + *it);
  if (entries_.empty()) return -1;
  return std::min(rows.front(), Count() - 1);
}

bool PrepareDownloadFolder(std::string& folder) {
  folder = app::WithTrailingSeparator(folder);
  std::error_code ec;
  const std::filesystem::path path(folder);
  if (std::filesystem::is_directory(path, ec)) return true;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

}  // namespace download
