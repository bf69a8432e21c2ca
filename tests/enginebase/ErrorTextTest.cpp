// Error codes as texts: the library's tags, system numbers with the library's own meaning
// for four of them, socket names, and the fallback for every other code.
#include <gtest/gtest.h>

#include "enginebase/ErrorText.h"

extern "C" {
#include <libavutil/error.h>
}

using engine::ErrorCodeText;

TEST(ErrorText, RowsOfEachGroup) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {static_cast<int>(0xBCBABB08u), "Decoder not found"},
      {static_cast<int>(0xBCB1BA08u), "Encoder not found"},
      {static_cast<int>(0xBAA8BEB0u), "Not yet implemented in FFmpeg"},
      {static_cast<int>(0xB9ACBD08u), "Bitstream filter not found"},
      {static_cast<int>(0xB3B6B908u), "Filter not found"},
      {static_cast<int>(0xB2BABB08u), "Demuxer not found"},
      {static_cast<int>(0xB0ADAF08u), "Protocol not found"},
      {static_cast<int>(0xADABAC08u), "Stream not found"},
      {static_cast<int>(0xA7AAB208u), "Muxer not found"},
      {-1, "Operation not permitted"},
      {-2, "No such file or directory"},
      {-11, "Resource temporarily unavailable / Try again"},
      {-22, "Invalid argument / Invalid data found when processing input"},
      {-32, "End of file"},
      {-33, "Number syntax expected in filename"},
      {-40, "Too many symbolic links encountered"},
      {-42, "Unknown format"},
      {-59, "Bad font file format"},
      {-81, ".lib section in a.out corrupted"},
      {-125, "Operation Canceled"},
      {-131, "State not recoverable"},
      {-10035, "WSAEWOULDBLOCK"},
      {-10110, "WSA_E_NO_MORE"},
      {-11004, "WSANO_DATA"},
      // No rows: the code itself.
      {-41, "Error number -41 occurred"},
      {-58, "Error number -58 occurred"},
      {-132, "Error number -132 occurred"},
      {-10036, "Error number -10036 occurred"},
      {0, "Error number 0 occurred"},
      {5, "Error number 5 occurred"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorCodeText(c.code), c.text) << c.code;
}

TEST(ErrorText, TheLibraryTagsMatchTheLibrarysOwnCodes) {
  EXPECT_EQ(ErrorCodeText(AVERROR_DECODER_NOT_FOUND), "Decoder not found");
  EXPECT_EQ(ErrorCodeText(AVERROR_DEMUXER_NOT_FOUND), "Demuxer not found");
  EXPECT_EQ(ErrorCodeText(AVERROR_PATCHWELCOME), "Not yet implemented in FFmpeg");
  EXPECT_EQ(ErrorCodeText(AVERROR(ENOENT)), "No such file or directory");
}

TEST(ErrorText, EverySystemNumberUpTo131HasARowExcept41And58) {
  for (int n = 1; n <= 131; ++n) {
    const bool fallback = ErrorCodeText(-n).rfind("Error number", 0) == 0;
    EXPECT_EQ(fallback, n == 41 || n == 58) << n;
  }
}

TEST(ErrorText, TodaysLibraryTagsGetTheLibrarysText) {
  // Broken media is reported with these; a bare number would tell the user nothing.
  EXPECT_EQ(ErrorCodeText(AVERROR_INVALIDDATA), "Invalid data found when processing input");
  EXPECT_EQ(ErrorCodeText(AVERROR_EOF), "End of file");
  EXPECT_EQ(ErrorCodeText(AVERROR_EXIT), "Immediate exit requested");
}

TEST(ErrorText, PrefixesTheFileName) {
  EXPECT_EQ(engine::ErrorText("/tmp/a b.mp4", -2), "/tmp/a b.mp4: No such file or directory");
  EXPECT_EQ(engine::ErrorText("", -58), ": Error number -58 occurred");
}
