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

#include "TestSupport.h"
#include "app/QtMessages.h"
#include "app/ShellUtils.h"
#include "core/MainThread.h"

using namespace app;

namespace {

// Runs `act` on the first modal dialog of type T that appears, from the event loop of
// whatever modal exec() is running. Gives up (and records a failure) after a few seconds.
template <typename T>
void whenDialogShows(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, act] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(dialog);
    } else if (++*tries > 500) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no dialog appeared";
    }
  });
  timer->start();
}

QAbstractButton* buttonWithText(QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

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

TEST(ShellUtilsTest, ShellFoldersComeFromTheDesktopsKnownFolders) {
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

TEST(ShellUtilsTest, TargetsBecomeLinksOrFileUrls) {
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

TEST(ShellUtilsTest, OpenWithShellHandsTheTargetToTheDesktop) {
  UrlRecorder recorder;
  OpenWithShell("https://example.org/update");
  OpenWithShell("/tmp/out folder/");
  OpenWithShell("");  // an empty link from a branding file: nothing happens, no crash
  EXPECT_EQ(recorder.opened, (QList<QUrl>{QUrl("https://example.org/update"),
                                          QUrl::fromLocalFile("/tmp/out folder/")}));
}

TEST(ShellUtilsTest, PowerActionsGoToTheInstalledHandler) {
  std::vector<int> kinds;
  SetPowerActionHandler([&](int kind) { kinds.push_back(kind); });
  PowerAction(1);
  PowerAction(0);
  PowerAction(5);
  SetPowerActionHandler(nullptr);
  EXPECT_EQ(kinds, (std::vector<int>{1, 0, 5}));
  EXPECT_TRUE(EnablePrivilege("SeShutdownPrivilege", true));

  const struct {
    int kind;
    const char* method;
  } methods[] = {{0, ""},          {1, "PowerOff"}, {2, "PowerOff"}, {3, "Reboot"},
                 {4, "Hibernate"}, {5, "Suspend"},  {6, ""},         {-1, ""}};
  for (const auto& m : methods) EXPECT_EQ(LogindMethodForPowerKind(m.kind), m.method) << m.kind;
}

TEST(ShellUtilsTest, MessageDialogTakesTheGivenButtonTexts) {
  const struct {
    core::MessageKind kind;
    std::vector<std::string> texts;
    QMessageBox::Icon icon;
    QString click;
    core::MessageAnswer answer;
  } cases[] = {
      {core::MessageKind::Confirmation,
       {"现在关机", ""},
       QMessageBox::Question,
       "现在关机",
       core::MessageAnswer::Yes},
      {core::MessageKind::Confirmation,
       {"", "稍后"},
       QMessageBox::Question,
       "稍后",
       core::MessageAnswer::No},
      {core::MessageKind::Warning,
       {"知道了", "extra", "ignored"},
       QMessageBox::Warning,
       "知道了",
       core::MessageAnswer::Ok},
      {core::MessageKind::Error, {}, QMessageBox::Critical, "", core::MessageAnswer::Ok},
  };
  for (const auto& c : cases) {
    QStringList seenTexts;
    QString seenCaption;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    whenDialogShows<QMessageBox>([&](QMessageBox* box) {
      seenCaption = box->windowTitle();
      seenIcon = box->icon();
      for (QAbstractButton* b : box->buttons()) seenTexts << b->text();
      QAbstractButton* target =
          c.click.isEmpty() ? box->buttons().first() : buttonWithText(box, c.click);
      if (!target) {
        ADD_FAILURE() << "no button " << c.click.toStdString();
        box->reject();
        return;
      }
      target->click();
    });
    EXPECT_EQ(MessageDialogWithButtons("text", "标题", c.kind, c.texts), c.answer);
    EXPECT_EQ(seenCaption, "标题");
    EXPECT_EQ(seenIcon, c.icon);
    if (!c.click.isEmpty()) {
      EXPECT_TRUE(seenTexts.contains(c.click)) << seenTexts.join("|").toStdString();
    }
    EXPECT_EQ(seenTexts.size(), c.kind == core::MessageKind::Confirmation ? 2 : 1);
  }
}

TEST(ShellUtilsTest, QtMessagesShowPlainTextAndAnswer) {
  QtMessages messages;
  const struct {
    core::MessageKind kind;
    int key;  // 0: click the first standard button named below
    QMessageBox::StandardButton button;
    core::MessageAnswer answer;
  } cases[] = {
      {core::MessageKind::Confirmation, 0, QMessageBox::Yes, core::MessageAnswer::Yes},
      {core::MessageKind::Confirmation, 0, QMessageBox::No, core::MessageAnswer::No},
      {core::MessageKind::Confirmation, Qt::Key_Escape, QMessageBox::NoButton,
       core::MessageAnswer::No},
      {core::MessageKind::Information, Qt::Key_Escape, QMessageBox::NoButton,
       core::MessageAnswer::Ok},
      {core::MessageKind::Error, 0, QMessageBox::Ok, core::MessageAnswer::Ok},
  };
  for (const auto& c : cases) {
    QString shownText;
    whenDialogShows<QMessageBox>([&](QMessageBox* box) {
      shownText = box->text();
      EXPECT_EQ(box->textFormat(), Qt::PlainText);
      if (c.key) {
        QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
      } else {
        box->button(c.button)->click();
      }
    });
    EXPECT_EQ(messages.Show(c.kind, "Caption", "<b>a.mp4</b> & more"), c.answer);
    EXPECT_EQ(shownText, "<b>a.mp4</b> & more");
  }
}

TEST(ShellUtilsTest, QtMessagesFromAWorkerAreShownOnTheMainThread) {
  QtMessages messages;
  std::atomic<bool> done{false};
  core::MessageAnswer answer = core::MessageAnswer::Cancel;
  bool shownOnMain = false;
  whenDialogShows<QMessageBox>([&](QMessageBox* box) {
    shownOnMain = core::MainThread::IsMainThread();
    box->button(QMessageBox::Yes)->click();
  });
  std::thread worker([&] {
    answer = messages.Show(core::MessageKind::Confirmation, "C", "from a worker");
    done = true;
  });
  EXPECT_TRUE(
      core::MainThread::WaitWhileServing([&] { return done.load(); }, std::chrono::seconds(20)));
  worker.join();
  EXPECT_TRUE(shownOnMain);
  EXPECT_EQ(answer, core::MessageAnswer::Yes);
}

TEST(ShellUtilsTest, SelectFolderReturnsTheChosenFolderOnlyOnOk) {
  testsupport::TempDir dir;
  std::filesystem::create_directories(dir.path() / "start");
  std::filesystem::create_directories(dir.path() / "chosen 目录");
  const std::string start = (dir.path() / "start").string();
  const std::string chosen = (dir.path() / "chosen 目录").string();

  std::string folder = start;
  whenDialogShows<QFileDialog>([&](QFileDialog* d) {
    EXPECT_EQ(d->windowTitle(), "请选择一个文件夹");
    EXPECT_EQ(d->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(d->directory().absolutePath().toStdString(), start);
    d->reject();
  });
  EXPECT_FALSE(SelectFolder(nullptr, folder, "请选择一个文件夹"));
  EXPECT_EQ(folder, start);

  whenDialogShows<QFileDialog>([&](QFileDialog* d) {
    // The user goes into the folder and confirms it.
    d->setDirectory(QString::fromStdString(chosen));
    static_cast<QDialog*>(d)->accept();  // as the dialog's own OK button does
  });
  EXPECT_TRUE(SelectFolder(nullptr, folder, "请选择一个文件夹"));
  EXPECT_EQ(folder, chosen);
}

TEST(ShellUtilsTest, BusyCursorCountsAndNeverRestoresSomeoneElsesCursor) {
  ASSERT_EQ(BusyCount(), 0);
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  EndBusy();  // without BeginBusy: nothing changes
  EXPECT_EQ(BusyCount(), 0);

  // Another part of the program shows its own cursor; an unmatched EndBusy must keep it.
  QApplication::setOverrideCursor(Qt::PointingHandCursor);
  EndBusy();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
  QApplication::restoreOverrideCursor();

  BeginBusy();
  BeginBusy();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EndBusy();
  EXPECT_EQ(BusyCount(), 1);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EndBusy();
  EXPECT_EQ(BusyCount(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EndBusy();
  EXPECT_EQ(BusyCount(), 0);
}

#include "ShellUtilsTest.moc"
