#include "download/QualityPreference.h"

#include <cstdio>

#include "appcore/AppSettings.h"

namespace download {

// The dialog texts are the table's own, "480 x 36" and the stray parentheses included.
const std::array<QualityRow, 8> kQualityTable = {{
    {"[HQ6]", 6, "FLV", "480 x 36", "Mono 44KHz MP3", "[HQ6] - (FLV, 480 x 360, Mono 44KHz MP3)",
     ".flv"},
    {"[HQ18]", 18, "MP4(H.264)", "640 x 360", "Stereo 44KHz AAC",
     "[HQ18] - (MP4(H.264), 640 x 360, 立体声 44KHz AAC)", ".mp4"},
    {"[HQ35]", 35, "FLV", "854 x 480", "Stereo 44KHz AAC",
     "[HQ35] - (FLV, 854 x 480, 立体声 44KHz AAC)", ".flv"},
    {"[HQ22]", 22, "MP4(H.264)", "1280x720", "Stereo 44KHz AAC",
     "[HQ22] - (MP4(H.264), 1280 x 720, 立体声 44KHz AAC)", ".mp4"},
    {"[HQ13]", 13, "3GP", "176x144", "Stereo 8KHz", "[HQ13] - (3GP, 176 x 144, 立体声 8KHz)",
     ".3gp"},
    {"[HQ17]", 17, "3GP", "176x144", "Stereo 44KHz AAC",
     "[HQ17] - (3GP, 176 x 144, 立体声 44KHz AAC)", ".3gp"},
    {"[HQ34]", 34, "FLV", "640 x 360", "Stereo 44KHz AAC)",
     "[HQ34] - (FLV, 640 x 360, 立体声 44KHz AAC)", ".flv"},
    {"[HQ37]", 37, "MP4(H.264)", "1920x1080", "Stereo 44KHz AAC)",
     "[HQ37] - (MP4(H.264), 1920 x 1080, 立体声 44KHz AAC)", ".mp4"},
}};

const char* const kDefaultQualityLongLabel = "[默认质量 - HQ5 - (FLV, 400 x 240, 单声道 44KHz MP3)]";
const char* const kDefaultQualityShortName =
    "[Default Quality - HQ5 - (FLV, 400 x 240, Mono 44KHz MP3)]";

namespace {
bool inTable(int number) { return number >= 0 && number < 8; }
}  // namespace

std::string QualityShortName(int number) {
  return inTable(number) ? kQualityTable[number].shortName : kDefaultQualityShortName;
}

std::string QualityLongLabel(const std::string& shortName) {
  for (const QualityRow& row : kQualityTable) {
    if (shortName == row.shortName) return row.longLabel;
  }
  return kDefaultQualityLongLabel;
}

std::string QualityExtension(int number) {
  return inTable(number) ? kQualityTable[number].extension : ".flv";
}

int QualityNumberOfShortName(const std::string& shortName) {
  for (int n = 0; n < 8; ++n) {
    if (shortName == kQualityTable[n].shortName) return n;
  }
  return 0;
}

int QualityItag(int number) { return inTable(number) ? kQualityTable[number].itag : kDefaultItag; }

int QualityPreference::Slot(int k) const { return k >= 1 && k <= 8 ? Order[k - 1] : -1; }

std::string QualityPreference::AttemptName(int k) const {
  if (k == 0) return kDefaultQualityLongLabel;
  if (k >= 1 && k <= 8) return QualityShortName(Slot(k));
  return {};
}

std::string QualityPreference::AttemptExtension(int k) const {
  if (k >= 1 && k <= 8) return QualityExtension(Slot(k));
  return ".flv";
}

int QualityPreference::AttemptItag(int k) const {
  if (k >= 1 && k <= 8) return QualityItag(Slot(k));
  return kDefaultItag;
}

std::string QualityPreference::PreferenceCaption() const { return PreferenceCaption(HighQuality); }

std::string QualityPreference::PreferenceCaption(bool highQuality) const {
  if (!highQuality) return kDefaultQualityLongLabel;
  std::string text = "Prefer: ";
  for (int k = 1; k <= 8; ++k) {
    if (k > 1) text += " > ";
    text += QualityShortName(Slot(k));
  }
  return text;
}

PreferenceOrder QualityPreference::Sanitized(const PreferenceOrder& order) {
  for (uint8_t n : order) {
    if (!inTable(n)) return kDefaultOrder;
  }
  return order;
}

void QualityPreference::Load(const app::AppSettings& s) {
  HighQuality = s.PreferYouTubeQuality;
  Order = Sanitized({s.PreferYouTube1, s.PreferYouTube2, s.PreferYouTube3, s.PreferYouTube4,
                     s.PreferYouTube5, s.PreferYouTube6, s.PreferYouTube7, s.PreferYouTube18});
}

void QualityPreference::Store(app::AppSettings& s) const {
  s.PreferYouTubeQuality = HighQuality;
  uint8_t* slots[] = {&s.PreferYouTube1, &s.PreferYouTube2, &s.PreferYouTube3,
                      &s.PreferYouTube4, &s.PreferYouTube5, &s.PreferYouTube6,
                      &s.PreferYouTube7, &s.PreferYouTube18};
  for (int i = 0; i < 8; ++i) *slots[i] = Order[i];
}

}  // namespace download
