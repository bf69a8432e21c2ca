// The program icon and the two notification sounds in the run-time folder.

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QSet>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

TEST(ProgramIcon, HoldsEverySizeWithATransparentOutline) {
  QImageReader reader(QString::fromStdString((testsupport::RuntimeDir() / "icon.ico").string()));
  ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
  ASSERT_EQ(reader.imageCount(), 4);
  QSet<int> sizes;
  for (int i = 0; i < reader.imageCount(); ++i) {
    ASSERT_TRUE(reader.jumpToImage(i));
    const QImage img = reader.read().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(img.isNull()) << "image " << i << ": " << reader.errorString().toStdString();
    SCOPED_TRACE(img.width());
    EXPECT_EQ(img.width(), img.height());
    sizes.insert(img.width());
    // Rounded tile: the very corner is see-through, the middle is solid.
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(img.pixel(img.width() / 2, img.height() / 2)), 255);
  }
  EXPECT_EQ(sizes, QSet<int>({16, 32, 48, 256}));
}

struct Wav {
  int format = 0, channels = 0, rate = 0, bits = 0;
  std::vector<double> samples;  // first channel, -1 .. 1
  std::string problem;
};

uint32_t LE(const std::string& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
  return v;
}

// Reads the chunks in any order, skipping unknown ones.
Wav ReadWav(const std::string& bytes) {
  Wav w;
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") || bytes.compare(8, 4, "WAVE")) {
    w.problem = "not a RIFF WAVE file";
    return w;
  }
  size_t at = 12;
  bool haveFormat = false;
  while (at + 8 <= bytes.size()) {
    const std::string id = bytes.substr(at, 4);
    const uint32_t size = LE(bytes, at + 4, 4);
    const size_t body = at + 8;
    if (body + size > bytes.size()) {
      w.problem = "chunk " + id + " runs past the end";
      return w;
    }
    if (id == "fmt " && size >= 16) {
      w.format = LE(bytes, body, 2);
      w.channels = LE(bytes, body + 2, 2);
      w.rate = LE(bytes, body + 4, 4);
      w.bits = LE(bytes, body + 14, 2);
      haveFormat = true;
    } else if (id == "data" && haveFormat && w.bits == 16 && w.channels > 0) {
      const size_t frame = 2 * w.channels;
      for (size_t i = 0; i + frame <= size; i += frame) {
        w.samples.push_back(static_cast<int16_t>(LE(bytes, body + i, 2)) / 32768.0);
      }
    }
    at = body + size + (size & 1);
  }
  if (!haveFormat) w.problem = "no format chunk";
  return w;
}

double Rms(const std::vector<double>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += s[i] * s[i];
  return to > from ? std::sqrt(sum / (to - from)) : 0;
}

// Pitch of a stretch from its zero crossings (the fundamental dominates these tones).
double PitchHz(const Wav& w, double fromShare, double toShare) {
  const size_t from = static_cast<size_t>(w.samples.size() * fromShare);
  const size_t to = static_cast<size_t>(w.samples.size() * toShare);
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i) {
    crossings += (w.samples[i - 1] < 0) != (w.samples[i] < 0);
  }
  return crossings / 2.0 / (static_cast<double>(to - from) / w.rate);
}

struct Sound {
  const char* file;
  bool rising;
  double lowestHz, highestHz;
};

TEST(NotificationSounds, ShortSoftTwoNoteChimesInTheRightDirection) {
  const Sound sounds[] = {{"done.wav", true, 400, 2000}, {"fail.wav", false, 110, 400}};
  for (const Sound& s : sounds) {
    SCOPED_TRACE(s.file);
    const Wav w = ReadWav(testsupport::ReadFile(testsupport::RuntimeDir() / "sounds" / s.file));
    ASSERT_EQ(w.problem, "");
    EXPECT_EQ(w.format, 1) << "PCM";
    EXPECT_EQ(w.bits, 16);
    EXPECT_GE(w.rate, 22050);
    ASSERT_GT(w.samples.size(), 0u);
    const double seconds = static_cast<double>(w.samples.size()) / w.rate;
    EXPECT_GT(seconds, 0.25);
    EXPECT_LT(seconds, 1.0);

    double peak = 0;
    for (double v : w.samples) peak = std::max(peak, std::abs(v));
    EXPECT_GT(peak, 0.25) << "too quiet to notice";
    EXPECT_LT(peak, 0.99) << "clipped";

    // Soft attack and decay: the first and last millisecond are far quieter than the
    // loudest one, and the very first and last samples are silent, so nothing clicks.
    const size_t window = w.rate / 1000;
    double loudest = 0;
    for (size_t i = 0; i + window <= w.samples.size(); i += window / 2) {
      loudest = std::max(loudest, Rms(w.samples, i, i + window));
    }
    EXPECT_LT(Rms(w.samples, 0, window), loudest * 0.05);
    EXPECT_LT(Rms(w.samples, w.samples.size() - window, w.samples.size()), loudest * 0.05);
    EXPECT_LT(std::abs(w.samples.front()), 0.002);
    EXPECT_LT(std::abs(w.samples.back()), 0.002);

    const double early = PitchHz(w, 0.05, 0.18), late = PitchHz(w, 0.65, 0.85);
    if (s.rising) {
      EXPECT_GT(late, early * 1.1) << early << " Hz then " << late << " Hz";
    } else {
      EXPECT_LT(late * 1.1, early) << early << " Hz then " << late << " Hz";
    }
    for (double hz : {early, late}) {
      EXPECT_GT(hz, s.lowestHz);
      EXPECT_LT(hz, s.highestHz);
    }
  }
}

}  // namespace
