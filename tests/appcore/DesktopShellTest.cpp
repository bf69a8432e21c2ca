#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <functional>
#include <thread>

#include "DialogTestSupport.h"
#include "TestSupport.h"
#include "appcore/DesktopShell.h"

using namespace app;
using dialogtest::whenDialogShows;
using dialogtest::buttonWithText;

namespace {

// Records the links handed to the desktop instead of opening them.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  UrlRecorder() {
    for (const char* scheme : {"file", "http", "https", "mailto"}) {
      QDesktopServices::setUrlHandler(scheme, this, "open");
    }
  }
  ~UrlRecorder() override {
    for (const char* scheme : {"file", "http", "https", "mailto"}) {
      QDesktopServices::unsetUrlHandler(scheme);
    }
  }
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened.push_back(url); }
};

}  // namespace

TEST(DesktopShellTest, ShellFoldersComeFromTheDesktopsKnownFolders) {
  testsupport::TempDir dir;
  const std::string config = dir.str() + "/cfg";
  const std::string documents = dir.str() + "/文档";
  dir.write("cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + documents + "\"\n");
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));

  EXPECT_EQ(GetShellFolder("AppData"), config);
  // A documents folder the account does not have: the home folder stands in.
  EXPECT_EQ(GetShellFolder("Personal"), QDir::homePath().toStdString());
  std::filesystem::create_directory(documents);
  EXPECT_EQ(GetShellFolder("Personal"), documents);
  EXPECT_EQ(GetShellFolder("NoSuchFolder"), QDir::homePath().toStdString());
  EXPECT_EQ(GetShellFolder(""), QDir::homePath().toStdString());

  if (oldConfig.isNull()) {
    qunsetenv("XDG_CONFIG_HOME");
  } else {
    qputenv("XDG_CONFIG_HOME", oldConfig);
  }
}

TEST(DesktopShellTest, TargetsBecomeLinksOrFileUrls) {
  testsupport::TempDir dir;
  dir.write("clip name.mp4", "x");
  const struct {
    std::string target;
    QUrl url;
  } cases[] = {
      {"https://example.org/help?a=1", QUrl("https://example.org/help?a=1")},
      {"mailto:support@example.org", QUrl("mailto:support@example.org")},
      {"www.example.org", QUrl("http://www.example.org")},
      {dir.str() + "/", QUrl::fromLocalFile(QString::fromStdString(dir.str() + "/"))},
      {dir.str() + "/clip name.mp4",
       QUrl::fromLocalFile(QString::fromStdString(dir.str() + "/clip name.mp4"))},
      {"/path/with #hash and %25", QUrl::fromLocalFile("/path/with #hash and %25")},
      {"/视频/输出/", QUrl::fromLocalFile("/视频/输出/")},
      {"", QUrl()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShellTargetUrl(c.target), c.url)
        << c.target << " -> " << ShellTargetUrl(c.target).toString().toStdString();
  }
}

TEST(DesktopShellTest, OpenWithShellHandsTheTargetToTheDesktop) {
  UrlRecorder recorder;
  OpenWithShell("https://example.org/update");
  OpenWithShell("/tmp/out folder/");
  OpenWithShell("");  // an empty link from a branding file: nothing happens, no crash
  EXPECT_EQ(recorder.opened, (QList<QUrl>{QUrl("https://example.org/update"),
                                          QUrl::fromLocalFile("/tmp/out folder/")}));
}

#include "DesktopShellTest.moc"
