// The default skin in the run-time folder: every image the window loads is there, has the
// size its place needs, and blends into the window bitmap where the program puts it.

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <cmath>
#include <cstdlib>

#include "TestSupport.h"

namespace {

QString SkinPath(const char* name) {
  return QString::fromStdString((testsupport::RuntimeDir() / "sounds" / "default" / name).string());
}

QImage LoadSkin(const char* name) {
  QImageReader reader(SkinPath(name));
  QImage img = reader.read();
  EXPECT_FALSE(img.isNull()) << name << ": " << reader.errorString().toStdString();
  return img.convertToFormat(QImage::Format_ARGB32);
}

bool IsMagenta(QRgb c) { return (c & 0xFFFFFF) == 0xFF00FF; }

int ChannelDistance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b))});
}

double Luminance(QRgb c) {
  auto lin = [](int v) {
    const double s = v / 255.0;
    return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}

double Contrast(QRgb a, QRgb b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct SkinFile {
  const char* name;
  int width;
  int height;
  bool transparentBackground;  // PNG pictures laid over the window
};

const SkinFile kSkinFiles[] = {
    {"main.bmp", 772, 560, false},          {"toplogo.png", 320, 36, true},
    {"leftlogo.png", 180, 420, true},       {"downloadyoutube.png", 240, 160, true},
    {"youtubeconvert.png", 240, 160, true}, {"min_1.bmp", 28, 24, false},
    {"min_2.bmp", 28, 24, false},           {"min_3.bmp", 28, 24, false},
    {"close_1.bmp", 28, 24, false},         {"close_2.bmp", 28, 24, false},
    {"close_3.bmp", 28, 24, false},         {"bottom_1.bmp", 90, 32, false},
    {"bottom_2.bmp", 90, 32, false},        {"bottom_3.bmp", 90, 32, false},
    {"bottom_4.bmp", 90, 32, false},
};

TEST(SkinImages, EveryFileLoadsWithItsSizeAndKind) {
  for (const SkinFile& f : kSkinFiles) {
    SCOPED_TRACE(f.name);
    const QImage img = LoadSkin(f.name);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(f.width, f.height));
    if (QString(f.name).endsWith(".bmp")) {
      // Uncompressed 24-bit: what the window shape and image buttons are made from.
      QFile file(SkinPath(f.name));
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      const QByteArray head = file.read(34);
      ASSERT_EQ(head.size(), 34);
      EXPECT_EQ(head.left(2), QByteArray("BM"));
      EXPECT_EQ(static_cast<uint8_t>(head[28]) | (static_cast<uint8_t>(head[29]) << 8), 24);
      EXPECT_EQ(static_cast<uint8_t>(head[30]), 0) << "compressed bitmap";
    }
    if (f.transparentBackground) {
      EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
      EXPECT_EQ(qAlpha(img.pixel(img.width() - 1, img.height() - 1)), 0);
      int opaque = 0;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) opaque += qAlpha(img.pixel(x, y)) == 255;
      EXPECT_GT(opaque, img.width() * img.height() / 20) << "the picture is nearly empty";
    }
  }
}

// Magenta cuts the window's shape: it must fill the rounded corners exactly, appear nowhere
// else, and never be blended into the window's own colours at the edge.
TEST(SkinImages, WindowBitmapIsMagentaOnlyOutsideTheRoundedCorners) {
  const QImage img = LoadSkin("main.bmp");
  ASSERT_EQ(img.size(), QSize(772, 560));
  const int w = img.width(), h = img.height();
  const int box = 12;  // the corners' radius is about 10
  int perCorner[4] = {0, 0, 0, 0};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!IsMagenta(img.pixel(x, y))) continue;
      const bool left = x < box, right = x >= w - box, top = y < box, bottom = y >= h - box;
      ASSERT_TRUE((left || right) && (top || bottom)) << "magenta inside at " << x << "," << y;
      ++perCorner[(top ? 0 : 2) + (left ? 0 : 1)];
      // Corners are solid: everything between the magenta pixel and the outer edges is too.
      const int ex = left ? 0 : w - 1, ey = top ? 0 : h - 1;
      EXPECT_TRUE(IsMagenta(img.pixel(ex, y)) && IsMagenta(img.pixel(x, ey)))
          << "hole in corner at " << x << "," << y;
    }
  }
  for (int i = 0; i < 4; ++i) {
    // A quarter circle of radius 10 leaves about 21 pixels outside it.
    EXPECT_GE(perCorner[i], 12) << "corner " << i;
    EXPECT_LE(perCorner[i], 35) << "corner " << i;
    EXPECT_EQ(perCorner[i], perCorner[0]) << "corners differ";
  }
  // Edge pixels next to magenta have the window's colour: the same as the pixel a few
  // steps further in on the same row, not a blend towards magenta.
  for (int y : {0, 1, 2, 3, 5, h - 6, h - 4, h - 3, h - 2, h - 1}) {
    int x = 0;
    while (IsMagenta(img.pixel(x, y))) ++x;
    EXPECT_LE(ChannelDistance(img.pixel(x, y), img.pixel(x + 14, y)), 3) << "left, row " << y;
    x = w - 1;
    while (IsMagenta(img.pixel(x, y))) --x;
    EXPECT_LE(ChannelDistance(img.pixel(x, y), img.pixel(x - 14, y)), 3) << "right, row " << y;
  }
}

TEST(SkinImages, HeaderIsDarkAndPageIsLightSoTextReads) {
  const QImage img = LoadSkin("main.bmp");
  const QRgb white = qRgb(255, 255, 255);
  for (int x : {20, 300, 700}) EXPECT_GT(Contrast(img.pixel(x, 18), white), 7.0) << x;
  // Title line, page card and bottom bar carry dark text or white-on-accent buttons.
  for (QPoint p : {QPoint(30, 50), QPoint(400, 300), QPoint(300, 540)}) {
    EXPECT_GT(Luminance(img.pixel(p)), 0.8) << p.x() << "," << p.y();
  }
}

// The chrome buttons are drawn over the header; their outer ring of pixels must match the
// window bitmap at the buttons' places, or they show as patches.
TEST(SkinImages, ChromeButtonsBlendIntoTheHeader) {
  const QImage window = LoadSkin("main.bmp");
  struct Button {
    const char* name;
    QPoint at;
  };
  const Button buttons[] = {{"min_1.bmp", {696, 4}},   {"min_2.bmp", {696, 4}},
                            {"min_3.bmp", {696, 4}},   {"close_1.bmp", {728, 4}},
                            {"close_2.bmp", {728, 4}}, {"close_3.bmp", {728, 4}}};
  for (const Button& b : buttons) {
    SCOPED_TRACE(b.name);
    const QImage img = LoadSkin(b.name);
    ASSERT_EQ(img.size(), QSize(28, 24));
    int worst = 0;
    for (int y = 0; y < img.height(); ++y) {
      for (int x = 0; x < img.width(); ++x) {
        if (x != 0 && y != 0 && x != img.width() - 1 && y != img.height() - 1) continue;
        worst =
            std::max(worst, ChannelDistance(img.pixel(x, y), window.pixel(b.at + QPoint(x, y))));
      }
    }
    EXPECT_LE(worst, 2);
  }
  // Mouse over close turns it red: the failure colour dominates its middle.
  const QImage hover = LoadSkin("close_2.bmp");
  const QRgb c = hover.pixel(4, 4);
  EXPECT_GT(qRed(c), qGreen(c) + 80);
  EXPECT_GT(qRed(c), qBlue(c) + 80);
}

// The five wizard buttons share one bitmap per state; their rounded corners sit on the
// bottom bar, and each state must look different with a readable white caption.
TEST(SkinImages, BottomButtonStatesAreDistinctAndSitOnTheBar) {
  const QImage window = LoadSkin("main.bmp");
  const QPoint places[] = {{40, 510}, {138, 510}, {426, 510}, {522, 510}, {672, 510}};
  QRgb middles[4];
  for (int i = 0; i < 4; ++i) {
    const std::string name = "bottom_" + std::to_string(i + 1) + ".bmp";
    SCOPED_TRACE(name);
    const QImage img = LoadSkin(name.c_str());
    ASSERT_EQ(img.size(), QSize(90, 32));
    for (const QPoint& at : places) {
      for (QPoint corner : {QPoint(0, 0), QPoint(89, 0), QPoint(0, 31), QPoint(89, 31)}) {
        EXPECT_LE(ChannelDistance(img.pixel(corner), window.pixel(at + corner)), 2)
            << "corner " << corner.x() << "," << corner.y() << " at " << at.x();
      }
    }
    middles[i] = img.pixel(45, 16);
    // Square-ish middle: one flat fill behind the caption.
    EXPECT_LE(ChannelDistance(img.pixel(10, 16), middles[i]), 2);
  }
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j)
      EXPECT_GT(ChannelDistance(middles[i], middles[j]), 20) << "states " << i + 1 << ", " << j + 1;
  // Normal, mouse over and pressed carry white captions.
  for (int i = 0; i < 3; ++i) EXPECT_GT(Contrast(middles[i], qRgb(255, 255, 255)), 3.0) << i + 1;
}

}  // namespace
