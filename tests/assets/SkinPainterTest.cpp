// The build-time skin painter: it fills a folder with the whole set of files, draws the
// same bytes every time (so a rebuild changes nothing), and fails clearly on a folder it
// cannot write.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <set>
#include <string>

#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

QString PainterPath() {
  return QString::fromStdString(
      (testsupport::RuntimeDir().parent_path() / "tools" / "wizconv-skinpainter").string());
}

struct PainterRun {
  int exitCode = -1;
  bool crashed = false;
  std::string errors;
};

PainterRun Paint(const fs::path& folder) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(PainterPath(), {QString::fromStdString(folder.string())});
  PainterRun r;
  if (!p.waitForFinished(60000)) {
    r.errors = "did not finish: " + p.errorString().toStdString();
    return r;
  }
  r.crashed = p.exitStatus() != QProcess::NormalExit;
  r.exitCode = p.exitCode();
  r.errors = p.readAllStandardError().toStdString();
  return r;
}

std::set<std::string> FilesBelow(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files.insert(fs::relative(e.path(), root).string());
  return files;
}

TEST(SkinPainter, WritesTheWholeSetAndTheSameBytesEachTime) {
  ASSERT_TRUE(fs::exists(PainterPath().toStdString()));
  testsupport::TempDir first, second;
  for (const auto* dir : {&first, &second}) {
    const PainterRun r = Paint(dir->path());
    ASSERT_FALSE(r.crashed);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
  }
  std::set<std::string> expected = {"icon.ico", "sounds/done.wav", "sounds/fail.wav"};
  for (const char* name :
       {"toplogo.png", "leftlogo.png", "downloadyoutube.png", "youtubeconvert.png", "main.bmp",
        "min_1.bmp", "min_2.bmp", "min_3.bmp", "close_1.bmp", "close_2.bmp", "close_3.bmp",
        "bottom_1.bmp", "bottom_2.bmp", "bottom_3.bmp", "bottom_4.bmp"}) {
    expected.insert(std::string("sounds/default/") + name);
  }
  EXPECT_EQ(FilesBelow(first.path()), expected);
  for (const std::string& f : expected) {
    // Compared as a whole; printing a mismatch byte by byte would drown the report.
    const std::string drawn = testsupport::ReadFile(first.path() / f);
    EXPECT_TRUE(drawn == testsupport::ReadFile(second.path() / f)) << f << " differs between runs";
    // The run-time folder holds what the painter draws now, not an old drawing.
    EXPECT_TRUE(drawn == testsupport::ReadFile(testsupport::RuntimeDir() / f))
        << f << " in the run-time folder is stale";
  }
}

TEST(SkinPainter, FailsWithAMessageWhenTheFolderCannotBeMade) {
  testsupport::TempDir dir;
  const fs::path file = dir.write("occupied", "a file where the folder should be");
  struct Case {
    const char* what;
    fs::path target;
  };
  const Case cases[] = {{"a file in the way", file},
                        {"below a file", file / "deeper"},
                        {"a sound's place taken by a folder", dir.path() / "blocked"}};
  fs::create_directories(dir.path() / "blocked" / "sounds" / "done.wav");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const PainterRun r = Paint(c.target);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("wizconv-skinpainter: "), std::string::npos) << r.errors;
  }
  EXPECT_EQ(testsupport::ReadFile(file), "a file where the folder should be");
}

}  // namespace
