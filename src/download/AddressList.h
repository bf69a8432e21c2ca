#pragma once
// The video page addresses to download, in pasting order, and the folder to save them in.
// Plain C++; the page's list widget only shows it.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace download {

// True when the text, lower-cased, contains "http" and the service's domain anywhere.
bool IsVideoAddress(std::string_view text, std::string_view serviceDomain);

// Clipboard text -> lines: CR and LF both end a line, empty lines are dropped, and text
// between a pair of matching quotes (' or ") is not split. Lines are not trimmed.
std::vector<std::string> SplitPastedText(std::string_view text);

// The two refusals of a pasted line.
inline constexpr const char* kNotAVideoAddress = "这不是一个YouTube视频链接。";
inline constexpr const char* kAlreadyListed = "这段视频已在下载列表中。";

class AddressList {
 public:
  explicit AddressList(std::string serviceDomain = "youtube.com")
      : serviceDomain_(std::move(serviceDomain)) {}

  // Shows a refused line (OK/Cancel box); true when the answer is OK.
  using RefusalPrompt = std::function<bool(const std::string& text)>;

  // Adds each line of the text in order. A line that is not a video address, or that is
  // already listed (letter case counts), is refused with prompt(line + "\n\r\n\r" +
  // reason); Cancel stops the paste there. Returns the number of lines added.
  int Paste(std::string_view clipboardText, const RefusalPrompt& prompt);

  // Removes the entries at the given rows. Returns the row to select afterwards: the
  // lowest removed row, or the last row when that is past the end; -1 when the list is
  // empty or nothing was removed.
  int Remove(std::vector<int> rows);
  void Clear() { entries_.clear(); }

  const std::vector<std::string>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }
  int Count() const { return static_cast<int>(entries_.size()); }
  const std::string& ServiceDomain() const { return serviceDomain_; }

  // The download folder, as chosen or typed.
  std::string Folder;

 private:
  std::string serviceDomain_;
  std::vector<std::string> entries_;
};

// The folder as the run uses it: with a trailing "/" added. Creates it with every missing
// parent; false when it neither exists nor can be created.
bool PrepareDownloadFolder(std::string& folder);

}  // namespace download
