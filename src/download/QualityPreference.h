#pragma once
// The qualities a video can be fetched in, the user's order of preference among the eight
// higher ones, and the texts that show them. Plain C++.
//
// A quality number 0..7 names a row of the table below; the default quality (itag 5) has
// no number and is used when high quality mode is off. Attempt k of a download is the
// default quality for k = 0 and preference slot k for k = 1..8.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace app {
struct AppSettings;
}

namespace download {

struct QualityRow {
  const char* shortName;  // "[HQ18]"
  int itag;
  const char* format;  // the three texts of the order dialog
  const char* video;
  const char* audio;
  const char* longLabel;
  const char* extension;  // with its dot
};

// Rows for quality numbers 0..7.
extern const std::array<QualityRow, 8> kQualityTable;

inline constexpr int kDefaultItag = 5;
extern const char* const kDefaultQualityLongLabel;
// The short name of a number outside 0..7.
extern const char* const kDefaultQualityShortName;

using PreferenceOrder = std::array<uint8_t, 8>;
inline constexpr PreferenceOrder kDefaultOrder = {1, 2, 3, 0, 4, 5, 6, 7};
inline constexpr PreferenceOrder kBestAvailableOrder = {7, 3, 2, 1, 0, 6, 4, 5};

std::string QualityShortName(int number);
// The long label of the row whose short name is exactly the text; the default quality's
// long label for any other text.
std::string QualityLongLabel(const std::string& shortName);
std::string QualityExtension(int number);
// The quality number of a short name; 0 for any other text.
int QualityNumberOfShortName(const std::string& shortName);
int QualityItag(int number);  // the default itag outside 0..7

// The mode and the order as the download branch uses them.
class QualityPreference {
 public:
  bool HighQuality = true;
  PreferenceOrder Order = kDefaultOrder;

  // Slot k (1..8) holds Order[k - 1].
  int Slot(int k) const;
  std::string AttemptName(int k) const;
  std::string AttemptExtension(int k) const;
  // The itag attempt k downloads.
  int AttemptItag(int k) const;
  // The quality text on the URL page: the default quality's long label when high quality
  // mode is off, "Prefer: [HQ18] > ..." when it is on.
  std::string PreferenceCaption() const;
  std::string PreferenceCaption(bool highQuality) const;

  // The settings keys PreferYouTubeQuality and PreferYouTube1..7, PreferYouTube18. An
  // order holding a number outside 0..7 cannot be shown or tried as a whole: it falls
  // back to the default order.
  void Load(const app::AppSettings& settings);
  void Store(app::AppSettings& settings) const;

  // The order itself when every slot holds 0..7, the default order otherwise.
  static PreferenceOrder Sanitized(const PreferenceOrder& order);
};

}  // namespace download
