// wizconv-skinpainter: draws the default edition's skin images, icon and sounds into the
// run-time folder given as its one argument; with --theme-icons FOLDER NAME it draws the
// program's mark as the desktop icon theme's PNG files instead
// (FOLDER/<size>x<size>/apps/NAME.png). Runs at build time, without a display.

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <cstdio>

#include "Chimes.h"
#include "ChromeButtons.h"
#include "IcoFile.h"
#include "Illustrations.h"
#include "ProgramMark.h"
#include "WavFile.h"
#include "WindowSkin.h"

namespace {

const QString kFontFamily = QStringLiteral("WenQuanYi Micro Hei");

class Painter {
 public:
  explicit Painter(const QString& root) : root_(root) {}
  bool failed() const { return failed_; }

  void MakeFolder(const QString& relative) {
    if (!QDir(root_).mkpath(relative)) Fail(relative, QStringLiteral("cannot create the folder"));
  }

  // PNG keeps the alpha channel; BMP is written as 24-bit, as the window skin expects.
  void SaveImage(const QImage& image, const QString& relative) {
    const bool bmp = relative.endsWith(QStringLiteral(".bmp"));
    const QImage out = bmp ? image.convertToFormat(QImage::Format_RGB888) : image;
    QImageWriter writer(Path(relative), bmp ? "bmp" : "png");
    if (!writer.write(out)) Fail(relative, writer.errorString());
  }

  void SaveBytes(const QByteArray& bytes, const QString& relative) {
    QFile file(Path(relative));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
      Fail(relative, file.errorString());
    }
  }

  void SaveSound(const std::vector<int16_t>& samples, const QString& relative) {
    const std::string problem =
        skin::WriteWav16(Path(relative).toStdString(), samples, skin::kSoundSampleRate);
    if (!problem.empty()) Fail(relative, QString::fromStdString(problem));
  }

  void Fail(const QString& relative, const QString& reason) {
    std::fprintf(stderr, "wizconv-skinpainter: %s: %s\n", qPrintable(Path(relative)),
                 qPrintable(reason));
    failed_ = true;
  }

 private:
  QString Path(const QString& relative) const { return root_ + QLatin1Char('/') + relative; }
  QString root_;
  bool failed_ = false;
};

// The sizes a desktop icon theme is looked up in, smallest first.
const int kThemeIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

int PaintThemeIcons(const QString& folder, const QString& name) {
  Painter out(folder);
  for (const int size : kThemeIconSizes) {
    const QString sizeFolder = QStringLiteral("%1x%1/apps").arg(size);
    out.MakeFolder(sizeFolder);
    if (!out.failed()) out.SaveImage(skin::PaintMark(size), sizeFolder + "/" + name + ".png");
  }
  return out.failed() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc == 4 && QByteArray(argv[1]) == "--theme-icons") {
    return PaintThemeIcons(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: wizconv-skinpainter RUNTIME_FOLDER\n"
                 "       wizconv-skinpainter --theme-icons FOLDER NAME\n");
    return 2;
  }
  if (!QFontDatabase::families().contains(kFontFamily)) {
    std::fprintf(stderr, "wizconv-skinpainter: font \"%s\" is not installed; using a fallback\n",
                 qPrintable(kFontFamily));
  }

  using skin::ButtonState;
  Painter out(QString::fromLocal8Bit(argv[1]));
  const QString skinFolder = QStringLiteral("sounds/default/");
  out.MakeFolder(skinFolder);
  if (out.failed()) return 1;

  const QImage face = skin::PaintWindowFace();
  out.SaveImage(skin::PaintWindowSkin(), skinFolder + "main.bmp");
  out.SaveImage(skin::PaintTopLogo(kFontFamily), skinFolder + "toplogo.png");
  out.SaveImage(skin::PaintLeftLogo(), skinFolder + "leftlogo.png");
  out.SaveImage(skin::PaintDownloadCard(), skinFolder + "downloadyoutube.png");
  out.SaveImage(skin::PaintConvertCard(), skinFolder + "youtubeconvert.png");

  const ButtonState chromeStates[] = {ButtonState::kNormal, ButtonState::kHover,
                                      ButtonState::kPressed};
  for (int i = 0; i < 3; ++i) {
    const QString n = QString::number(i + 1);
    out.SaveImage(skin::PaintMinButton(face, chromeStates[i]), skinFolder + "min_" + n + ".bmp");
    out.SaveImage(skin::PaintCloseButton(face, chromeStates[i]),
                  skinFolder + "close_" + n + ".bmp");
  }
  const ButtonState bottomStates[] = {ButtonState::kNormal, ButtonState::kHover,
                                      ButtonState::kPressed, ButtonState::kDisabled};
  for (int i = 0; i < 4; ++i) {
    out.SaveImage(skin::PaintBottomButton(bottomStates[i]),
                  skinFolder + "bottom_" + QString::number(i + 1) + ".bmp");
  }

  QString icoError;
  const QByteArray ico = skin::EncodeMultiSizeIco(
      {skin::PaintMark(16), skin::PaintMark(32), skin::PaintMark(48), skin::PaintMark(256)},
      &icoError);
  if (ico.isEmpty()) {
    out.Fail(QStringLiteral("icon.ico"), icoError);
  } else {
    out.SaveBytes(ico, QStringLiteral("icon.ico"));
  }

  out.SaveSound(skin::SynthesiseDoneChime(), QStringLiteral("sounds/done.wav"));
  out.SaveSound(skin::SynthesiseFailChime(), QStringLiteral("sounds/fail.wav"));
  return out.failed() ? 1 : 0;
}
