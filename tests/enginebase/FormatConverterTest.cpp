// Pictures to bottom-up RGB bitmaps and back, at every depth; the caller's picture is used
// without a copy exactly when it already has the bitmap's layout.
#include <gtest/gtest.h>

#include <vector>

#include "enginebase/FFmpegException.h"
#include "enginebase/FormatConverter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
}

using namespace engine;

namespace {

// A BGR24 picture whose top row is red, bottom row blue, the rest green.
struct Bgr24Picture {
  Bgr24Picture(int w, int h, int stride) : width(w), height(h), pixels(stride * h) {
    linesize[0] = stride;
    data[0] = pixels.data();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = pixels.data() + y * stride + x * 3;
        const bool top = y == 0, bottom = y == h - 1;
        p[0] = bottom ? 255 : 0;             // B
        p[1] = (!top && !bottom) ? 255 : 0;  // G
        p[2] = top ? 255 : 0;                // R
      }
  }
  int width, height;
  std::vector<uint8_t> pixels;
  uint8_t* data[4] = {nullptr};
  int linesize[4] = {0};
};

}  // namespace

TEST(FormatConverter, AlignedBgr24IsUsedInPlaceAndOddWidthGoesThroughTheBuffer) {
  const struct {
    int width, height, stride;
    bool inPlace;
  } cases[] = {
      {4, 2, 12, true},                      // 12 bytes per row: already a multiple of 4
      {8, 4, 24, true},  {5, 2, 16, false},  // odd width
      {4, 3, 12, false},                     // odd height
      {4, 2, 16, false},                     // rows longer than the bitmap's
      {2, 2, 6, false},                      // rows not padded to 4 bytes
  };
  for (const auto& c : cases) {
    Bgr24Picture pic(c.width, c.height, c.stride);
    TFormatConverter conv;
    ASSERT_TRUE(conv.ToRGB(pic.data, pic.linesize, AV_PIX_FMT_BGR24, true, c.height, c.width));
    EXPECT_EQ(conv.UsesCallerPicture(), c.inPlace) << c.width << "x" << c.height;
    EXPECT_EQ(conv.Picture().Bits == pic.data[0], c.inPlace);
    EXPECT_EQ(conv.Picture().Width, c.width);
    EXPECT_EQ(conv.Picture().Height, c.height);
    EXPECT_EQ(conv.Picture().BitsPixel, 24);
    EXPECT_EQ(conv.Picture().Planes, 1);
    const TBitmap& bmp = conv.Bitmap();
    ASSERT_EQ(bmp.Width, c.width);
    EXPECT_EQ(bmp.RowBytes() % 4, 0);
    EXPECT_EQ(bmp.Pixels.size(), static_cast<size_t>(bmp.RowBytes() * c.height));
    // Bottom-up: the stored first row is the image's bottom (blue) row.
    EXPECT_EQ(bmp.Pixels[0], 255) << "blue at the lowest address";
    EXPECT_EQ(bmp.Pixels[2], 0);
    const uint8_t* top = bmp.Pixels.data() + (c.height - 1) * bmp.RowBytes();
    EXPECT_EQ(top[2], 255) << "red at the highest row";
    EXPECT_EQ(top[0], 0);
  }
}

TEST(FormatConverter, EveryDepthHasItsFormatAndRowPadding) {
  const struct {
    int depth, bits;
    AVPixelFormat format;
    int rowBytesFor3;
  } cases[] = {{8, 8, AV_PIX_FMT_BGR8, 4},
               {15, 16, AV_PIX_FMT_BGR555LE, 8},
               {16, 16, AV_PIX_FMT_BGR565LE, 8},
               {24, 24, AV_PIX_FMT_BGR24, 12},
               {32, 32, AV_PIX_FMT_BGRA, 12}};
  for (const auto& c : cases) {
    TFormatConverter conv;
    conv.SetBitsPixel(c.depth);
    EXPECT_EQ(conv.BitsPerPixel(), c.bits);
    EXPECT_EQ(conv.PixelFormat(), c.format);
    Bgr24Picture pic(3, 2, 12);
    ASSERT_TRUE(conv.ToRGB(pic.data, pic.linesize, AV_PIX_FMT_BGR24, true, 2, 3)) << c.depth;
    EXPECT_EQ(conv.Bitmap().BitsPerPixel, c.bits);
    EXPECT_EQ(conv.Bitmap().RowBytes(), c.rowBytesFor3) << c.depth;
  }
}

TEST(FormatConverter, SwitchingFrom15To16BitsChangesTheFormat) {
  // Both depths store 16 bits per pixel; the switch must still change 5-5-5 to 5-6-5.
  TFormatConverter conv;
  conv.SetBitsPixel(15);
  conv.SetBitsPixel(16);
  EXPECT_EQ(conv.PixelFormat(), AV_PIX_FMT_BGR565LE);
}

TEST(FormatConverter, InvalidDepthIsRefused) {
  TFormatConverter conv;
  for (int bad : {0, 12, 48, -24}) {
    try {
      conv.SetBitsPixel(bad);
      FAIL() << bad;
    } catch (const FFmpegException& e) {
      EXPECT_EQ(std::string(e.what()), "Invalid BitsPixel " + std::to_string(bad));
    }
  }
  EXPECT_EQ(conv.Depth(), 24);
}

TEST(FormatConverter, YuvPictureRoundTripsThroughTheBitmap) {
  const int w = 64, h = 48;
  AVFrame* frame = av_frame_alloc();
  frame->width = w;
  frame->height = h;
  frame->format = AV_PIX_FMT_YUV420P;
  ASSERT_EQ(av_frame_get_buffer(frame, 0), 0);
  // Mid grey everywhere.
  for (int y = 0; y < h; ++y) std::fill_n(frame->data[0] + y * frame->linesize[0], w, 128);
  for (int p = 1; p < 3; ++p)
    for (int y = 0; y < h / 2; ++y)
      std::fill_n(frame->data[p] + y * frame->linesize[p], w / 2, 128);
  TFormatConverter conv;
  ASSERT_TRUE(conv.ToRGB(frame->data, frame->linesize, AV_PIX_FMT_YUV420P, true, h, w));
  EXPECT_FALSE(conv.UsesCallerPicture());
  const uint8_t* px = conv.Bitmap().Row(h / 2) + 3 * (w / 2);
  EXPECT_NEAR(px[0], 130, 6);
  EXPECT_NEAR(px[1], 130, 6);
  EXPECT_NEAR(px[2], 130, 6);
  // Paint the bitmap white, copy it back and convert to the frame.
  std::fill(conv.Bitmap().Pixels.begin(), conv.Bitmap().Pixels.end(), 255);
  ASSERT_TRUE(conv.CopyFromBitmap());
  ASSERT_TRUE(conv.FromRGB(frame->data, frame->linesize, AV_PIX_FMT_YUV420P, h, w));
  EXPECT_NEAR(frame->data[0][(h / 2) * frame->linesize[0] + w / 2], 235, 4);
  // A target of another size would be read past the picture: refused.
  EXPECT_FALSE(conv.FromRGB(frame->data, frame->linesize, AV_PIX_FMT_YUV420P, h * 2, w));
  EXPECT_EQ(conv.LastError(), "Cannot initialize the fromRGB conversion context");
  av_frame_free(&frame);
}

TEST(FormatConverter, NothingToCopyBeforeAPicture) {
  TFormatConverter conv;
  EXPECT_FALSE(conv.CopyToBitmap());
  EXPECT_FALSE(conv.CopyFromBitmap());
  uint8_t* data[4] = {nullptr};
  int lines[4] = {0};
  EXPECT_FALSE(conv.FromRGB(data, lines, AV_PIX_FMT_YUV420P, 2, 2));
  EXPECT_FALSE(conv.ToRGB(data, lines, AV_PIX_FMT_YUV420P, true, 0, 0));
  EXPECT_EQ(conv.LastError(), "Cannot initialize the toRGB conversion context");
}

TEST(FormatConverter, BufferGrowsAndIsReused) {
  TFormatConverter conv;
  Bgr24Picture big(33, 20, 100), small(5, 4, 16);
  ASSERT_TRUE(conv.ToRGB(big.data, big.linesize, AV_PIX_FMT_BGR24, true, 20, 33));
  const uint8_t* buffer = conv.Picture().Bits;
  ASSERT_TRUE(conv.ToRGB(small.data, small.linesize, AV_PIX_FMT_BGR24, true, 4, 5));
  EXPECT_EQ(conv.Picture().Bits, buffer) << "a smaller picture reuses the buffer";
  EXPECT_EQ(conv.Bitmap().Width, 5);
  EXPECT_EQ(conv.Bitmap().Row(0)[2], 255) << "top row red";
}
