#include "IcoFile.h"

#include <QBuffer>
#include <QImageWriter>
#include <algorithm>

namespace skin {
namespace {

constexpr int kHeaderSize = 6;
constexpr int kEntrySize = 16;

uint32_t GetLE(const QByteArray& b, int at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
  return v;
}

void PutLE(QByteArray& b, int at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Qt's writer leaves the padding at the end of each transparency-mask row uninitialised,
// so the same picture would give different bytes on every build. The mask is written
// again here from the picture's alpha: bit set where fully transparent, rows bottom up.
bool RewriteMask(QByteArray& payload, const QImage& image) {
  const int w = image.width(), h = image.height();
  const int headerSize = 40, maskStride = (w + 31) / 32 * 4;
  const int pixelBytes = w * h * 4;
  if (payload.size() != headerSize + pixelBytes + maskStride * h ||
      GetLE(payload, 0, 4) != static_cast<uint32_t>(headerSize) || GetLE(payload, 14, 2) != 32) {
    return false;
  }
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  char* mask = payload.data() + headerSize + pixelBytes;
  for (int row = 0; row < h; ++row) {
    const int y = h - 1 - row;
    char* line = mask + row * maskStride;
    std::fill(line, line + maskStride, '\0');
    for (int x = 0; x < w; ++x) {
      if (qAlpha(argb.pixel(x, y)) == 0)
        line[x / 8] = static_cast<char>(line[x / 8] | (0x80 >> (x % 8)));
    }
  }
  return true;
}

}  // namespace

QByteArray EncodeMultiSizeIco(const QList<QImage>& images, QString* error) {
  QList<QByteArray> entries, payloads;
  for (const QImage& image : images) {
    QByteArray single;
    QBuffer buffer(&single);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    if (!writer.write(image)) {
      *error = QStringLiteral("cannot encode a %1 pixel icon image: %2")
                   .arg(image.width())
                   .arg(writer.errorString());
      return {};
    }
    // One directory entry, then its data at the offset the entry names.
    const bool oneEntry = single.size() >= kHeaderSize + kEntrySize && GetLE(single, 2, 2) == 1 &&
                          GetLE(single, 4, 2) == 1;
    const uint32_t size = oneEntry ? GetLE(single, kHeaderSize + 8, 4) : 0;
    const uint32_t offset = oneEntry ? GetLE(single, kHeaderSize + 12, 4) : 0;
    if (!oneEntry || offset + size > static_cast<uint32_t>(single.size())) {
      *error = QStringLiteral("unexpected icon layout from the image writer");
      return {};
    }
    QByteArray payload = single.mid(offset, size);
    if (!RewriteMask(payload, image)) {
      *error =
          QStringLiteral("unexpected %1 pixel icon image from the image writer").arg(image.width());
      return {};
    }
    entries.push_back(single.mid(kHeaderSize, kEntrySize));
    payloads.push_back(payload);
  }

  QByteArray out(kHeaderSize, '\0');
  PutLE(out, 2, 1, 2);  // type: icon
  PutLE(out, 4, static_cast<uint32_t>(entries.size()), 2);
  uint32_t offset = kHeaderSize + kEntrySize * entries.size();
  for (int i = 0; i < entries.size(); ++i) {
    QByteArray entry = entries[i];
    PutLE(entry, 12, offset, 4);
    out += entry;
    offset += payloads[i].size();
  }
  for (const QByteArray& payload : payloads) out += payload;
  return out;
}

}  // namespace skin
