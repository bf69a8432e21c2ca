// Timestamps as text, media type names, option splitting and the timestamp corrector.
#include <gtest/gtest.h>

#include "enginebase/EngineText.h"
#include "enginebase/PtsCorrector.h"

using namespace engine;

TEST(TimeToText, HoursAreNotWrappedAndMillisecondsTruncate) {
  const struct {
    int64_t t;
    const char* text;
  } cases[] = {{3723004000LL, "01:02:03.004"},
               {90000000000LL, "25:00:00.000"},
               {0, "00:00:00.000"},
               {999999, "00:00:00.999"},
               {59999999, "00:00:59.999"},
               {360000000000LL, "100:00:00.000"},
               {kNoTimestamp, "N/A"}};
  for (const auto& c : cases) EXPECT_EQ(TimeToText(c.t), c.text) << c.t;
}

TEST(MediaTypeName, KnownTypesAndTheRest) {
  const char* names[] = {"Video", "Audio", "Data", "Subtitle", "Attachment"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(MediaTypeName(i), names[i]);
  for (int other : {-1, 5, 1000}) EXPECT_EQ(MediaTypeName(other), "Unknown");
}

TEST(SplitFirst, HeadAndRemainder) {
  const struct {
    const char* source;
    const char* delimiter;
    bool remove;
    const char* head;
    const char* rest;
  } cases[] = {
      {"name=value", "=", true, "name", "value"},
      {"name=value", "=", false, "name", "name=value"},
      {"a=b=c", "=", true, "a", "b=c"},
      {"novalue", "=", true, "novalue", ""},
      {"novalue", "=", false, "novalue", "novalue"},
      {"=lead", "=", true, "", "lead"},
      {"trail=", "=", true, "trail", ""},
      {"x::y::z", "::", true, "x", "y::z"},
      {"Key=Value", "k", true, "Key=Value", ""},  // case-sensitive
      {"", "=", true, "", ""},
  };
  for (const auto& c : cases) {
    std::string source = c.source;
    EXPECT_EQ(SplitFirst(source, c.delimiter, c.remove), c.head) << c.source;
    EXPECT_EQ(source, c.rest) << c.source;
  }
}

TEST(PtsCorrector, RepeatingDecodingTimesMakeItTrustPresentationTimes) {
  PtsCorrector c;
  c.Reset();
  EXPECT_EQ(c.Correct(100, 10), 100);  // no faults yet: presentation time
  EXPECT_EQ(c.Correct(300, 10), 300);  // decoding time repeats
  EXPECT_EQ(c.Correct(200, 20), 200);  // presentation went back once, decoding once: equal
  EXPECT_EQ(c.Correct(400, 20), 400);
  EXPECT_EQ(c.NumFaultyDts, 2);
  EXPECT_EQ(c.NumFaultyPts, 1);
}

TEST(PtsCorrector, ReorderedPresentationTimesMakeItTrustDecodingTimes) {
  PtsCorrector c;
  c.Reset();
  EXPECT_EQ(c.Correct(0, 0), 0);
  EXPECT_EQ(c.Correct(3, 1), 3);
  EXPECT_EQ(c.Correct(1, 2), 2);  // presentation went back: decoding time now wins
  EXPECT_EQ(c.Correct(2, 3), 3);
  EXPECT_EQ(c.Correct(kNoTimestamp, 4), 4);
}

TEST(PtsCorrector, MissingTimes) {
  PtsCorrector c;
  c.Reset();
  for (int64_t dts : {0, 1, 2}) EXPECT_EQ(c.Correct(kNoTimestamp, dts), dts);
  EXPECT_EQ(c.Correct(kNoTimestamp, kNoTimestamp), kNoTimestamp);
  EXPECT_EQ(c.NumFaultyDts, 0);
  c.Reset();
  EXPECT_EQ(c.LastDts, kNoTimestamp);
  EXPECT_EQ(c.Correct(7, kNoTimestamp), 7);
}
