#include <gtest/gtest.h>

#include "appcore/AppSettings.h"
#include "download/QualityPreference.h"

using namespace download;

TEST(QualityPreferenceTest, LookupsFollowTheTable) {
  const struct {
    int number;
    const char* shortName;
    int itag;
    const char* extension;
  } rows[] = {
      {0, "[HQ6]", 6, ".flv"},  {1, "[HQ18]", 18, ".mp4"}, {2, "[HQ35]", 35, ".flv"},
      {3, "[HQ22]", 22, ".mp4"}, {4, "[HQ13]", 13, ".3gp"}, {5, "[HQ17]", 17, ".3gp"},
      {6, "[HQ34]", 34, ".flv"}, {7, "[HQ37]", 37, ".mp4"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.number);
    EXPECT_EQ(QualityShortName(r.number), r.shortName);
    EXPECT_EQ(QualityItag(r.number), r.itag);
    EXPECT_EQ(QualityExtension(r.number), r.extension);
    EXPECT_EQ(QualityNumberOfShortName(r.shortName), r.number);
    EXPECT_EQ(QualityLongLabel(r.shortName), kQualityTable[r.number].longLabel);
  }
  // Outside the table: the default quality's texts.
  for (int n : {-1, 8, 255}) {
    EXPECT_EQ(QualityShortName(n), "[Default Quality - HQ5 - (FLV, 400 x 240, Mono 44KHz MP3)]");
    EXPECT_EQ(QualityExtension(n), ".flv");
    EXPECT_EQ(QualityItag(n), 5);
  }
  for (const char* other : {"", "[hq18]", "[HQ5]", "[HQ18] "}) {
    EXPECT_EQ(QualityLongLabel(other), "[默认质量 - HQ5 - (FLV, 400 x 240, 单声道 44KHz MP3)]");
    EXPECT_EQ(QualityNumberOfShortName(other), 0);
  }
  // The dialog's own texts, odd ones included.
  EXPECT_STREQ(kQualityTable[0].video, "480 x 36");
  EXPECT_STREQ(kQualityTable[6].audio, "Stereo 44KHz AAC)");
  EXPECT_STREQ(kQualityTable[3].longLabel, "[HQ22] - (MP4(H.264), 1280 x 720, 立体声 44KHz AAC)");
}

TEST(QualityPreferenceTest, AttemptsAndCaptions) {
  QualityPreference q;
  EXPECT_TRUE(q.HighQuality);
  EXPECT_EQ(q.PreferenceCaption(),
            "Prefer: [HQ18] > [HQ35] > [HQ22] > [HQ6] > [HQ13] > [HQ17] > [HQ34] > [HQ37]");
  EXPECT_EQ(q.PreferenceCaption(false), "[默认质量 - HQ5 - (FLV, 400 x 240, 单声道 44KHz MP3)]");
  q.Order = kBestAvailableOrder;
  EXPECT_EQ(q.PreferenceCaption(),
            "Prefer: [HQ37] > [HQ22] > [HQ35] > [HQ18] > [HQ6] > [HQ34] > [HQ13] > [HQ17]");
  // Attempt 0 is the default quality, 1..8 the slots, anything else nothing.
  EXPECT_EQ(q.AttemptName(0), "[默认质量 - HQ5 - (FLV, 400 x 240, 单声道 44KHz MP3)]");
  EXPECT_EQ(q.AttemptName(1), "[HQ37]");
  EXPECT_EQ(q.AttemptName(8), "[HQ17]");
  EXPECT_EQ(q.AttemptName(9), "");
  EXPECT_EQ(q.AttemptName(-1), "");
  EXPECT_EQ(q.AttemptItag(0), 5);
  EXPECT_EQ(q.AttemptItag(1), 37);
  EXPECT_EQ(q.AttemptExtension(0), ".flv");
  EXPECT_EQ(q.AttemptExtension(1), ".mp4");
  EXPECT_EQ(q.AttemptExtension(7), ".3gp");
  EXPECT_EQ(q.AttemptExtension(9), ".flv");
}

TEST(QualityPreferenceTest, StoredUnderItsKeysAndOutOfRangeSlotsFallBack) {
  app::AppSettings s;
  QualityPreference q;
  q.HighQuality = false;
  q.Order = kBestAvailableOrder;
  q.Store(s);
  EXPECT_FALSE(s.PreferYouTubeQuality);
  // The eighth slot lives under PreferYouTube18.
  const uint8_t stored[] = {s.PreferYouTube1, s.PreferYouTube2, s.PreferYouTube3,
                            s.PreferYouTube4, s.PreferYouTube5, s.PreferYouTube6,
                            s.PreferYouTube7, s.PreferYouTube18};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(stored[i], kBestAvailableOrder[i]) << i;

  QualityPreference back;
  back.Load(s);
  EXPECT_FALSE(back.HighQuality);
  EXPECT_EQ(back.Order, kBestAvailableOrder);

  // One slot outside 0..7 would show seven rows and try a quality that does not exist: the
  // whole order becomes the default one.
  for (uint8_t bad : {uint8_t{8}, uint8_t{200}, uint8_t{255}}) {
    s.PreferYouTube5 = bad;
    QualityPreference loaded;
    loaded.Order = kBestAvailableOrder;
    loaded.Load(s);
    EXPECT_EQ(loaded.Order, kDefaultOrder) << int(bad);
  }
  // A repeated quality is a valid order.
  s.PreferYouTube5 = 7;
  back.Load(s);
  EXPECT_EQ(back.Order[4], 7);
}
