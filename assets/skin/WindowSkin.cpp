#include "WindowSkin.h"

#include <QLinearGradient>
#include <QPainter>

#include "SkinColours.h"
#include "SkinGeometry.h"

namespace skin {

QImage PaintWindowFace() {
  QImage img(kWindowWidth, kWindowHeight, QImage::Format_RGB32);
  QPainter p(&img);
  const QColor border = Colour(palette::kBorder);
  p.fillRect(img.rect(), Colour(palette::kWindow));

  QLinearGradient header(0, 0, kWindowWidth, 0);
  header.setColorAt(0, Colour(palette::kHeaderDark));
  header.setColorAt(1, Colour(palette::kHeaderLight));
  p.fillRect(QRect(0, 0, kWindowWidth, kHeaderHeight), header);

  const int columnHeight = kBottomBarTop - kColumnTop;
  p.fillRect(QRect(0, kColumnTop, kColumnHairlineX, columnHeight), ColumnTint());
  p.fillRect(QRect(0, kColumnTop, kColumnHairlineX, 1), border);
  p.fillRect(QRect(kColumnHairlineX, kColumnTop, 1, columnHeight), border);

  // The page card; its bottom edge is the bottom bar's hairline.
  const QRect& page = kPageArea;
  p.fillRect(page, Colour(palette::kPanel));
  p.fillRect(QRect(page.left(), page.top(), page.width(), 1), border);
  p.fillRect(QRect(page.left(), page.top(), 1, page.height()), border);
  p.fillRect(QRect(page.right(), page.top(), 1, page.height()), border);

  p.fillRect(QRect(0, kBottomBarTop, kWindowWidth, kWindowHeight - kBottomBarTop),
             BottomBarColour());
  p.fillRect(QRect(0, kBottomBarTop, kWindowWidth, 1), border);
  return img;
}

bool InsideWindowShape(int x, int y) {
  const double cx = x + 0.5, cy = y + 0.5, r = kCornerRadius;
  // Distance from the nearest corner circle's centre, when the pixel is in a corner box.
  const double ox = cx < r ? r - cx : (cx > kWindowWidth - r ? cx - (kWindowWidth - r) : 0);
  const double oy = cy < r ? r - cy : (cy > kWindowHeight - r ? cy - (kWindowHeight - r) : 0);
  return ox * ox + oy * oy <= r * r;
}

QImage PaintWindowSkin() {
  QImage img = PaintWindowFace();
  const QRgb transparent = Colour(palette::kTransparent).rgb();
  // One step away from magenta: still looks the same, never cut out.
  const QRgb nearTransparent = qRgb(254, 0, 255);
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      if (!InsideWindowShape(x, y)) {
        line[x] = transparent;
      } else if (line[x] == transparent) {
        line[x] = nearTransparent;
      }
    }
  }
  return img;
}

}  // namespace skin
