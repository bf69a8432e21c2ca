#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "appcore/TimeText.h"

namespace fs = std::filesystem;
using namespace app;

TEST(TimeTextTest, TimeTexts) {
  const struct {
    int64_t us;
    const char* text;
  } micro[] = {
      {3723004000, "01:02:03.004"},
      {0, "00:00:00.000"},
      {360000000000, "100:00:00.000"},  // hours are not bounded
      {999, "00:00:00.000"},            // below a millisecond
      {59999999, "00:00:59.999"},       // milliseconds truncate, never round up to 60 s
      {INT64_C(36000000000000000), "10000000:00:00.000"},  // far beyond 32 bits of seconds
  };
  for (const auto& c : micro) EXPECT_EQ(FormatMicroseconds(c.us), c.text) << c.us;

  const struct {
    int64_t s;
    const char* text;
  } seconds[] = {{59, "00:00:59"},
                 {3600, "01:00:00"},
                 {0, "00:00:00"},
                 {3599, "00:59:59"},
                 {360000, "100:00:00"}};
  for (const auto& c : seconds) EXPECT_EQ(FormatSeconds(c.s), c.text) << c.s;
}
